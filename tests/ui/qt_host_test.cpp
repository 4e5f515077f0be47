// The Qt window, headless (offscreen platform): the template's controls, and
// real uploads started by clicking "Nahrát" with the worker's synchronous
// calls and a message box that the test answers.
#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QProgressBar>
#include <QRadioButton>
#include <QStyle>
#include <QStyleOptionButton>
#include <QTest>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <filesystem>

#include <gtest/gtest.h>

#include "app/prikazovy_radek.h"
#include "app/pyrrow_app.h"
#include "app/pyrrow_dlg.h"
#include "res/dialog_template.h"
#include "res/resource.h"
#include "support/pty_device.h"
#include "support/sim_process.h"
#include "support/temp_dir.h"
#include "ui/qt/caption_fit.h"
#include "ui/qt/ip_address_field.h"
#include "ui/qt/qt_dialog_host.h"

namespace {

using pyrrow::ui::QtDialogHost;

QString Q(const char16_t* s)
{
    return QString::fromUtf16(s);
}

// Runs the event loop until done() holds or the time is up.
template <class Done>
bool ProcessEventsUntil(Done done, int milliseconds = 30000)
{
    QElapsedTimer clock;
    clock.start();
    QTimer tick;
    tick.start(5);  // wakes the loop so that done() is looked at again
    while (!done()) {
        if (clock.elapsed() > milliseconds)
            return false;
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    return true;
}

class QtHost : public testing::Test {
protected:
    QtHost()
    {
        dlg.m_createTaskbar = [] { return std::unique_ptr<pyrrow::platform::TaskbarProgress>(); };
        dlg.m_enumeratePorts = [this] { return ports; };
        // Settings beside a program in a folder of the test's own.
        dlg.m_moduleFileName = [this](pyrrow::platform::ModuleHandle) { return settingsDir.File("pyrrow"); };
    }

    template <class T>
    T* Control(int id)
    {
        return qobject_cast<T*>(host->Control(id));
    }

    void Open()
    {
        host = std::make_unique<QtDialogHost>(&dlg, pyrrow::res::MainDialogTemplate());
        dlg.OnInitDialog();
        host->show();
    }

    pyrrow::test::TempDir settingsDir;
    std::vector<std::u16string> ports;
    CPyrrowDlg dlg;
    std::unique_ptr<QtDialogHost> host;
};

// The main dialog as it is meant to be, written out here rather than read
// from the template the host builds from: id, caption, position and size in
// dialog units, enabled, tab stop, in template (and tab) order.
struct GoldenControl {
    int id;
    const char* widget;  // the Qt class that stands for the control's kind
    const char16_t* caption;
    int x, y, width, height;
    bool enabled;
    bool tabStop;
};

constexpr GoldenControl kGoldenControls[] = {
    {1, "QPushButton", u"Nahrát", 134, 128, 50, 14, true, true},
    {2, "QPushButton", u"Zavrít okno", 188, 128, 50, 14, true, true},
    {1000, "QComboBox", u"", 141, 10, 49, 113, false, true},
    {1014, "QLabel", u"Komunikacní port:", 78, 12, 58, 8, false, false},
    {-1, "QLabel", u"Soubor:", 37, 97, 26, 8, true, false},
    {1001, "QLineEdit", u"", 66, 96, 153, 12, true, true},
    {1002, "QPushButton", u"...", 221, 96, 17, 12, true, true},
    {1003, "QProgressBar", u"", 6, 117, 232, 8, true, false},
    {1007, "QPushButton", u"", 191, 9, 18, 14, false, true},
    {1010, "QRadioButton", u"Sériová linka", 18, 12, 56, 10, true, false},
    {1011, "QRadioButton", u"ETH / TCP", 18, 36, 48, 10, true, false},
    {1012, "QRadioButton", u"USB", 18, 60, 29, 10, true, false},
    {1013, "pyrrow::ui::IpAddressField", u"", 138, 34, 100, 12, false, true},
    {1015, "QLabel", u"IP:", 123, 36, 10, 8, false, false},
    {1008, "QPushButton", u"Detekovat", 138, 57, 50, 14, false, true},
    {1016, "QLabel", u"Detekovat:", 96, 60, 37, 8, false, false},
};

TEST_F(QtHost, BuildsTheMainDialogAsSpecified)
{
    const pyrrow::res::DialogTemplate& t = pyrrow::res::MainDialogTemplate();
    EXPECT_EQ(t.id, 102);
    EXPECT_EQ(Q(t.caption), QStringLiteral("Pyrrow"));
    EXPECT_EQ(Q(t.fontName), QStringLiteral("MS Shell Dlg"));
    EXPECT_EQ(t.fontPoints, 8);
    EXPECT_EQ(t.width, 246);
    EXPECT_EQ(t.height, 153);
    ASSERT_EQ(t.controls.size(), std::size(kGoldenControls));

    host = std::make_unique<QtDialogHost>(&dlg, t);
    EXPECT_EQ(host->windowTitle(), QStringLiteral("Pyrrow"));
    EXPECT_EQ(host->minimumSize(), host->maximumSize());  // fixed size
    EXPECT_FALSE(host->windowFlags().testFlag(Qt::WindowMinimizeButtonHint));
    EXPECT_FALSE(host->windowFlags().testFlag(Qt::WindowMaximizeButtonHint));
    const QList<QWidget*> children = host->findChildren<QWidget*>(Qt::FindDirectChildrenOnly);
    std::vector<int> tabStops;
    for (std::size_t i = 0; i < std::size(kGoldenControls); ++i) {
        const GoldenControl& golden = kGoldenControls[i];
        const pyrrow::res::ControlTemplate& c = t.controls[i];
        SCOPED_TRACE(golden.id);
        EXPECT_EQ(c.id, golden.id);
        EXPECT_EQ(Q(c.caption), Q(golden.caption));
        EXPECT_EQ(std::vector<int>({c.x, c.y, c.width, c.height}),
                  std::vector<int>({golden.x, golden.y, golden.width, golden.height}));
        EXPECT_EQ(c.enabled, golden.enabled);
        EXPECT_EQ(c.tabStop, golden.tabStop);

        // The host's widgets are made in template order.
        ASSERT_LT(static_cast<qsizetype>(i), children.size());
        QWidget* w = golden.id == -1 ? children[static_cast<qsizetype>(i)] : host->Control(golden.id);
        ASSERT_NE(w, nullptr);
        EXPECT_STREQ(w->metaObject()->className(), golden.widget);
        EXPECT_EQ(w->isEnabled(), golden.enabled);
        EXPECT_EQ(w->focusPolicy() == Qt::StrongFocus, golden.tabStop);
        EXPECT_FALSE(w->isHidden());
        EXPECT_GT(w->width(), 0);
        if (auto* button = qobject_cast<QAbstractButton*>(w)) {
            EXPECT_EQ(button->text(), Q(golden.caption));
        }
        if (auto* label = qobject_cast<QLabel*>(w)) {
            EXPECT_EQ(label->text(), Q(golden.caption));
        }
        if (auto* radio = qobject_cast<QRadioButton*>(w)) {
            EXPECT_FALSE(radio->isChecked());  // none selected until the dialog initialises
        }
        if (auto* edit = qobject_cast<QLineEdit*>(w)) {
            EXPECT_TRUE(edit->isReadOnly());
        }
        if (golden.tabStop)
            tabStops.push_back(golden.id);
    }
    // Tab goes through the tab stops in template order and back to the first.
    std::vector<int> chain;
    QWidget* w = host->Control(IDOK);
    for (int step = 0; step < 200 && chain.size() <= tabStops.size(); ++step) {
        w = w->nextInFocusChain();
        if (w->parentWidget() == host.get() && w->focusPolicy() == Qt::StrongFocus)
            chain.push_back(w->objectName().toInt());
    }
    tabStops.push_back(IDOK);
    tabStops.erase(tabStops.begin());
    chain.resize(std::min(chain.size(), tabStops.size()));
    EXPECT_EQ(chain, tabStops);
}

// The width a control gives its caption, as the style draws it.
int CaptionRoom(QWidget* w)
{
    QStyleOptionButton option;
    option.initFrom(w);
    if (qobject_cast<QRadioButton*>(w) != nullptr)
        return w->style()->subElementRect(QStyle::SE_RadioButtonContents, &option, w).width();
    if (qobject_cast<QAbstractButton*>(w) != nullptr)
        return w->style()->subElementRect(QStyle::SE_PushButtonContents, &option, w).width();
    return w->contentsRect().width();
}

QString Caption(QWidget* w)
{
    if (auto* button = qobject_cast<QAbstractButton*>(w))
        return button->text();
    if (auto* label = qobject_cast<QLabel*>(w))
        return label->text();
    return {};
}

TEST_F(QtHost, EveryCaptionFitsInAWideFont)
{
    const QFont normal = QApplication::font();
    for (const int spacing : {0, 2, 5}) {  // extra pixels after each character
        SCOPED_TRACE(spacing);
        QFont wide = normal;
        wide.setLetterSpacing(QFont::AbsoluteSpacing, spacing);
        QApplication::setFont(wide);
        auto window = std::make_unique<QtDialogHost>(&dlg, pyrrow::res::MainDialogTemplate());
        window->show();
        const QList<QWidget*> controls = window->findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly);
        for (QWidget* w : controls) {
            SCOPED_TRACE(Caption(w).toStdString());
            if (!Caption(w).isEmpty()) {
                EXPECT_LE(w->fontMetrics().horizontalAdvance(Caption(w)), CaptionRoom(w));
            }
            EXPECT_TRUE(window->rect().contains(w->geometry()));
            for (QWidget* other : controls) {
                EXPECT_TRUE(other == w || !other->geometry().intersects(w->geometry()))
                    << Caption(other).toStdString();
            }
        }
        window.reset();
        QApplication::setFont(normal);
    }
}

TEST(CaptionFit, ARowThatGrowsPushesItsNeighboursAndTheWindow)
{
    using pyrrow::ui::CaptionPlace;
    // A radio button, a right-aligned label and its field in one row; a
    // button alone in the next row; the window 100 wide with 10 to spare.
    const std::vector<CaptionPlace> controls = {
        {QRect(10, 0, 20, 10), 25, false},  // grows right into the label's room
        {QRect(35, 0, 20, 10), 30, true},   // grows left, but not over the radio
        {QRect(60, 0, 30, 10), 0, false},   // moves along
        {QRect(10, 20, 20, 10), 0, false},  // another row stays
    };
    QSize window(100, 40);
    const std::vector<QRect> placed = pyrrow::ui::FitCaptions(controls, &window);
    EXPECT_EQ(placed, (std::vector<QRect>{QRect(10, 0, 25, 10), QRect(40, 0, 30, 10), QRect(75, 0, 30, 10),
                                          QRect(10, 20, 20, 10)}));
    EXPECT_EQ(window, QSize(115, 40));
}

TEST_F(QtHost, InitialisesToTheSerialLink)
{
    ports = {u"ttyS0", u"ttyUSB0"};
    Open();
    EXPECT_TRUE(Control<QRadioButton>(IDC_RADIO_SERIAL)->isChecked());
    EXPECT_TRUE(Control<QComboBox>(IDC_COM_PORT)->isEnabled());
    EXPECT_EQ(Control<QComboBox>(IDC_COM_PORT)->currentText(), QStringLiteral("ttyS0"));
    EXPECT_FALSE(host->Control(IDC_IP_ADDRESS)->isEnabled());
    // The field is blank at start; choosing TCP shows the kept address.
    EXPECT_EQ(qobject_cast<pyrrow::ui::IpAddressField*>(host->Control(IDC_IP_ADDRESS))->Address(), 0u);
    Control<QRadioButton>(IDC_RADIO_TCP)->click();
    EXPECT_TRUE(host->Control(IDC_IP_ADDRESS)->isEnabled());
    EXPECT_EQ(qobject_cast<pyrrow::ui::IpAddressField*>(host->Control(IDC_IP_ADDRESS))->Address(), 0xC0A8DEDEu);
    EXPECT_FALSE(Control<QComboBox>(IDC_COM_PORT)->isEnabled());
}

TEST_F(QtHost, ClickingUploadSendsTheFileOverAPseudoTerminal)
{
    pyrrow::test::TempDir dir;
    // Thirteen blocks with their 10 ms pauses: long enough for the bar to
    // be drawn on the way.
    std::string file(32 + 12 * 256 + 1, '\0');
    for (std::size_t i = 0; i < file.size(); ++i)
        file[i] = static_cast<char>(i * 13);
    pyrrow::test::WriteBytes(dir.path() / "unit.fw", file);
    pyrrow::test::SimProcess sim({"serial", "--once", "--store", (dir.path() / "store").string()});
    const std::string port = sim.ReadLine();
    ports = {std::u16string(port.begin(), port.end())};
    dlg.m_strFirmwarePath = dir.File("unit.fw");
    Open();

    std::vector<int> positions;
    QObject::connect(Control<QProgressBar>(IDC_PROGRESS), &QProgressBar::valueChanged,
                     [&positions](int v) { positions.push_back(v); });
    Control<QAbstractButton>(IDOK)->click();
    EXPECT_EQ(dlg.m_bBusy, 1);
    EXPECT_FALSE(host->Control(IDOK)->isEnabled());
    ASSERT_TRUE(ProcessEventsUntil([this] { return dlg.m_bBusy == 0; }));

    EXPECT_EQ(sim.Wait(), 0);
    EXPECT_EQ(pyrrow::test::StoredImages(dir.path() / "store"), std::vector<std::string>{file});
    // The worker does not wait for the bar, which may skip steps it had no
    // time to draw, but shows only real positions and ends at 0.
    if (!positions.empty() && positions.back() == 0)
        positions.pop_back();
    EXPECT_FALSE(positions.empty());
    EXPECT_TRUE(std::is_sorted(positions.begin(), positions.end()));
    for (int position : positions)
        EXPECT_TRUE(position == static_cast<int>(file.size()) || (position > 32 && (position - 32) % 256 == 0))
            << position;
    EXPECT_EQ(Control<QProgressBar>(IDC_PROGRESS)->value(), 0);
    EXPECT_TRUE(host->Control(IDOK)->isEnabled());
    EXPECT_TRUE(host->Control(IDC_COM_PORT)->isEnabled());
    EXPECT_EQ(dlg.m_hComPort, nullptr);
}

TEST_F(QtHost, ClickingUploadWithTcpChosenSendsFramesToTheDevice)
{
    pyrrow::test::TempDir dir;
    std::string file(32 + 2048 + 5, '\0');
    for (std::size_t i = 0; i < file.size(); ++i)
        file[i] = static_cast<char>(i * 7);
    pyrrow::test::WriteBytes(dir.path() / "unit.fw", file);
    pyrrow::test::SimProcess sim({"tcp", "--listen", "127.0.0.1:0", "--once", "--store", (dir.path() / "store").string()});
    ports = {u"ttyS0"};
    dlg.m_strFirmwarePath = dir.File("unit.fw");
    dlg.m_tcpPort = sim.ReadPort();
    Open();

    Control<QRadioButton>(IDC_RADIO_TCP)->click();
    auto* field = qobject_cast<pyrrow::ui::IpAddressField*>(host->Control(IDC_IP_ADDRESS));
    for (int i = 0; i < 4; ++i)
        field->Octet(i)->setText(QString::number(i == 0 ? 127 : i == 3 ? 1 : 0));
    Control<QAbstractButton>(IDOK)->click();
    ASSERT_TRUE(ProcessEventsUntil([this] { return dlg.m_bBusy == 0; }));

    EXPECT_EQ(sim.Wait(), 0);  // frames 0, 1 and 2, each acknowledged
    EXPECT_EQ(pyrrow::test::StoredImages(dir.path() / "store"), std::vector<std::string>{file});
    EXPECT_EQ(Control<QProgressBar>(IDC_PROGRESS)->value(), 0);
    EXPECT_TRUE(host->Control(IDC_IP_ADDRESS)->isEnabled());
    EXPECT_FALSE(host->Control(IDC_COM_PORT)->isEnabled());
    EXPECT_EQ(dlg.m_socket, nullptr);
}

// Through the kernel's uhid and hidraw and the real hidapi. It runs in the
// kernel stage's guest (tests/kernel/), which says so in PYRROW_KERNEL_STAGE:
// elsewhere the unit would be opened by its ids, and a real one attached
// could be flashed.
TEST_F(QtHost, ClickingUploadWithUsbChosenSendsReportsToAUnitOfTheKernel)
{
    if (qEnvironmentVariableIsEmpty("PYRROW_KERNEL_STAGE"))
        GTEST_SKIP() << "runs in the kernel stage (./dev kernel)";
    pyrrow::test::TempDir dir;
    std::string file(32 + 40 * 64, '\0');  // whole reports: no padding stored
    for (std::size_t i = 0; i < file.size(); ++i)
        file[i] = static_cast<char>(i * 11);
    pyrrow::test::WriteBytes(dir.path() / "unit.fw", file);
    pyrrow::test::SimProcess sim({"usb", "--once", "--store", (dir.path() / "store").string()});
    ASSERT_FALSE(sim.ReadLine().empty()) << sim.Errors();
    // The kernel adds the hidraw node a moment after the unit is made.
    ASSERT_TRUE(ProcessEventsUntil([] { return std::filesystem::exists("/sys/class/hidraw/hidraw0"); }, 5000));
    ports = {u"ttyS0"};
    dlg.m_strFirmwarePath = dir.File("unit.fw");
    Open();

    Control<QRadioButton>(IDC_RADIO_USB)->click();
    Control<QAbstractButton>(IDOK)->click();
    ASSERT_TRUE(ProcessEventsUntil([this] { return dlg.m_bBusy == 0; }));

    EXPECT_EQ(sim.Wait(), 0) << sim.Errors();
    EXPECT_EQ(pyrrow::test::StoredImages(dir.path() / "store"), std::vector<std::string>{file});
    EXPECT_EQ(Control<QProgressBar>(IDC_PROGRESS)->value(), 0);
}

TEST_F(QtHost, MessageBoxFromTheWorkerIsModalAndAnswered)
{
    pyrrow::test::PtyDevice device(pyrrow::test::SerialScript{});
    ports = {std::u16string(device.SlavePath().begin(), device.SlavePath().end())};
    dlg.m_strFirmwarePath = u"/nonexistent/unit.fw";
    Open();

    QStringList seen;
    QTimer answer;
    QObject::connect(&answer, &QTimer::timeout, [&seen] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            seen << box->windowTitle() + QStringLiteral("|") + box->text();
            EXPECT_EQ(box->icon(), QMessageBox::Critical);
            box->accept();
        }
    });
    answer.start(10);
    Control<QAbstractButton>(IDOK)->click();
    ASSERT_TRUE(ProcessEventsUntil([this] { return dlg.m_bBusy == 0; }));
    EXPECT_EQ(seen, QStringList{QStringLiteral("Pyrrow|Nepodařilo se otevřít soubor s firmwarem!")});
}

TEST_F(QtHost, CloseAndEscWhileBusyKeepTheWindow)
{
    ports = {u"ttyS0"};
    Open();
    dlg.m_bBusy = 1;
    QTimer answer;
    int refusals = 0;
    QObject::connect(&answer, &QTimer::timeout, [&refusals] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            EXPECT_EQ(box->text(), QStringLiteral("Během nahrávání nelze uzavřít dialog!"));
            EXPECT_EQ(box->windowTitle(), QStringLiteral("Upgrade FW"));
            ++refusals;
            box->accept();
        }
    });
    answer.start(10);
    host->close();
    host->reject();  // Esc
    EXPECT_TRUE(host->isVisible());
    EXPECT_EQ(refusals, 1);
    dlg.m_bBusy = 0;
    host->reject();
    EXPECT_FALSE(host->isVisible());
    EXPECT_EQ(host->result(), IDCANCEL);
}

void PressKey(QWidget* window, int key)
{
    QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
    QCoreApplication::sendEvent(window, &press);
}

TEST_F(QtHost, EnterStartsAnUploadAndDoesNotClose)
{
    pyrrow::test::PtyDevice device(pyrrow::test::SerialScript{});
    ports = {std::u16string(device.SlavePath().begin(), device.SlavePath().end())};
    dlg.m_strFirmwarePath = u"/nonexistent/unit.fw";
    Open();
    QTimer answer;
    int boxes = 0;
    QObject::connect(&answer, &QTimer::timeout, [&boxes] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            ++boxes;
            box->accept();
        }
    });
    answer.start(10);
    PressKey(host.get(), Qt::Key_Return);
    ASSERT_TRUE(ProcessEventsUntil([this] { return dlg.m_bBusy == 0; }));
    EXPECT_EQ(boxes, 1);  // the upload ran and told that the file is missing
    EXPECT_TRUE(host->isVisible());
}

// The commands a window gives, with every control enabled.
class CommandRecorder : public pyrrow::platform::CDialogBase {
public:
    bool OnInitDialog() override
    {
        for (const pyrrow::res::ControlTemplate& c : pyrrow::res::MainDialogTemplate().controls)
            Host().EnableControl(c.id, true);
        return true;
    }
    std::vector<int> commands;

protected:
    bool DispatchEvent(pyrrow::platform::DialogEvent event, int id) override
    {
        if (event == pyrrow::platform::DialogEvent::Command)
            commands.push_back(id);
        return true;
    }
};

// Enter presses the push button that has the focus, and "Nahrát" while the
// focus is on any other control: an operator who tabs to "Zavrít okno" and
// presses Enter closes the window rather than flashing the unit.
TEST(QtEnterKey, PressesTheFocusedButtonElseUpload)
{
    const struct {
        int focus;
        int command;
    } cases[] = {
        {IDCANCEL, IDCANCEL},       {IDC_BROWSE, IDC_BROWSE}, {IDC_REFRESH, IDC_REFRESH},
        {IDC_DETECT, IDC_DETECT},   {IDOK, IDOK},             {IDC_COM_PORT, IDOK},
        {IDC_FILE_PATH, IDOK},      {IDC_RADIO_SERIAL, IDOK}, {IDC_IP_ADDRESS, IDOK},
        {IDCANCEL, IDCANCEL},  // the default follows the focus back and forth
    };
    CommandRecorder recorder;
    QtDialogHost host(&recorder, pyrrow::res::MainDialogTemplate());
    recorder.OnInitDialog();
    host.show();
    QApplication::setActiveWindow(&host);
    ASSERT_TRUE(QTest::qWaitForWindowActive(&host));
    for (const auto& c : cases) {
        SCOPED_TRACE(c.focus);
        host.Control(c.focus)->setFocus(Qt::TabFocusReason);
        QWidget* focused = QApplication::focusWidget();
        ASSERT_NE(focused, nullptr);
        recorder.commands.clear();
        QTest::keyClick(focused, Qt::Key_Return);
        EXPECT_EQ(recorder.commands, std::vector<int>{c.command});
    }
}

TEST_F(QtHost, EscClosesWhenIdleButNotWhileBusy)
{
    ports = {u"ttyS0"};
    Open();
    dlg.m_bBusy = 1;
    PressKey(host.get(), Qt::Key_Escape);
    EXPECT_TRUE(host->isVisible());
    dlg.m_bBusy = 0;
    PressKey(host.get(), Qt::Key_Escape);
    EXPECT_FALSE(host->isVisible());
}

// Return held at the end of an upload and Esc pressed with it: a second
// upload must not start under the first, and the window must never close
// while one runs (ASan finds what a worker does to a window that is gone).
TEST_F(QtHost, KeyStormOfEnterAndEscNeverClosesUnderAnUpload)
{
    pyrrow::test::TempDir dir;
    pyrrow::test::WriteBytes(dir.path() / "unit.fw", std::string(32 + 2048, 'k'));
    pyrrow::test::SimProcess sim({"tcp", "--listen", "127.0.0.1:0"});
    ports = {u"ttyS0"};
    dlg.m_strFirmwarePath = dir.File("unit.fw");
    dlg.m_tcpPort = sim.ReadPort();
    dlg.m_ipAddress = 0x7F000001;
    Open();
    Control<QRadioButton>(IDC_RADIO_TCP)->click();

    int keys = 0;
    int uploads = 0;
    bool wasBusy = false;
    bool closedWhileBusy = false;
    QTimer storm;
    QObject::connect(&storm, &QTimer::timeout, [&] {
        if (!host->isVisible())
            return;
        const bool busy = dlg.m_bBusy != 0;
        uploads += busy && !wasBusy ? 1 : 0;
        wasBusy = busy;
        PressKey(host.get(), ++keys % 2 != 0 ? Qt::Key_Return : Qt::Key_Escape);
        closedWhileBusy = closedWhileBusy || (!host->isVisible() && dlg.m_bBusy != 0);
    });
    storm.start(3);
    ProcessEventsUntil([&] { return !host->isVisible(); }, 3000);
    storm.stop();
    EXPECT_FALSE(closedWhileBusy);
    EXPECT_GE(uploads, 1);
    ProcessEventsUntil([this] { return dlg.m_bBusy == 0; });
    dlg.m_worker.Join();
}

// Types text as the operator would: each key to the control that has the
// window's focus at that moment.
void Type(QWidget* window, const char* text)
{
    for (; *text != 0; ++text)
        QTest::keyClick(window->focusWidget(), *text);
}

TEST_F(QtHost, TypingAnAddressFillsTheOctetsInTurn)
{
    struct Case {
        const char* keys;
        std::uint32_t shown;  // before typing, 0 for a blank field
        std::uint32_t address;
    };
    const Case cases[] = {
        {"192.168.1.1", 0, 0xC0A80101},      // a dot right after three digits moves no further
        {"10.0.0.1", 0, 0x0A000001},
        {"192168001001", 0, 0xC0A80101},     // three digits each, no dots
        {"10.1.2.3", 0xC0A8DEDE, 0x0A010203},  // over a shown address
        {"172.016.254.3", 0xC0A8DEDE, 0xAC10FE03},
        {"300.1.1.1", 0, 0xFF010101},        // above 255 an octet holds 255
    };
    ports = {u"ttyS0"};
    Open();
    Control<QRadioButton>(IDC_RADIO_TCP)->click();
    auto* field = qobject_cast<pyrrow::ui::IpAddressField*>(host->Control(IDC_IP_ADDRESS));
    for (const Case& c : cases) {
        SCOPED_TRACE(c.keys);
        field->SetAddress(c.shown);
        for (int i = 0; c.shown == 0 && i < 4; ++i)
            field->Octet(i)->clear();
        field->Octet(0)->setFocus();
        field->Octet(0)->selectAll();
        Type(host.get(), c.keys);
        EXPECT_EQ(field->Address(), c.address);
    }
}

TEST_F(QtHost, ATypedAddressIsSavedAtClose)
{
    ports = {u"ttyS0"};
    Open();
    Control<QRadioButton>(IDC_RADIO_TCP)->click();
    auto* field = qobject_cast<pyrrow::ui::IpAddressField*>(host->Control(IDC_IP_ADDRESS));
    field->Octet(0)->setFocus();
    field->Octet(0)->selectAll();
    Type(host.get(), "10.0.0.7");
    host->close();
    host.reset();
    const std::string saved = pyrrow::test::ReadBytes(settingsDir.path() / "pyrrow.config");
    EXPECT_NE(saved.find(pyrrow::test::Utf16LeBytes(u"ip=\"10.0.0.7\"")), std::string::npos);
}

TEST(QtStartUp, ArgumentsReachTheDialog)
{
    pyrrow::test::TempDir dir;
    std::vector<std::u16string> seen;
    bool serial = false;
    CPyrrowApp app({u"-c", u"/dev/ttyUSB1", u"115200", u"8", u"0", u"-f", u"/srv/unit 7.fw"},
                   [&](CPyrrowDlg& dialog) {
                       dialog.m_enumeratePorts = [] { return std::vector<std::u16string>{u"ttyUSB0", u"ttyUSB1"}; };
                       dialog.m_createTaskbar = [] { return std::unique_ptr<pyrrow::platform::TaskbarProgress>(); };
                       QtDialogHost host(&dialog, pyrrow::res::MainDialogTemplate());
                       // Looks at the window once it is up, then closes it as the operator would.
                       QTimer::singleShot(0, &host, [&] {
                           seen.push_back(qobject_cast<QComboBox*>(host.Control(IDC_COM_PORT))->currentText().toStdU16String());
                           seen.push_back(qobject_cast<QLineEdit*>(host.Control(IDC_FILE_PATH))->text().toStdU16String());
                           serial = qobject_cast<QRadioButton*>(host.Control(IDC_RADIO_SERIAL))->isChecked();
                           host.close();
                       });
                       return host.RunModal();
                   });
    EXPECT_FALSE(app.InitInstance());
    EXPECT_EQ(seen, (std::vector<std::u16string>{u"ttyUSB1", u"/srv/unit 7.fw"}));
    EXPECT_TRUE(serial);
}

TEST_F(QtHost, SettingsNameTheDeviceAndAreWrittenBackOnClose)
{
    pyrrow::test::TempDir dir;
    std::string file(32 + 100, '\0');
    pyrrow::test::WriteBytes(dir.path() / "unit.fw", file);
    pyrrow::test::SimProcess sim({"tcp", "--listen", "127.0.0.1:0", "--once", "--store", (dir.path() / "store").string()});
    const std::string path = (dir.path() / "unit.fw").string();
    const std::string port = std::to_string(sim.ReadPort());
    const std::u16string settings =
        u"\uFEFF<DriverSetting><Address pc='1'/><File path='" + std::u16string(path.begin(), path.end()) +
        u"'/><Communication type='TCP'><TCP ip='127.0.0.1' port='" + std::u16string(port.begin(), port.end()) +
        u"' timeout='5000' readDelay='300'/></Communication></DriverSetting>";
    pyrrow::test::WriteBytes(settingsDir.path() / "pyrrow.config", pyrrow::test::Utf16LeBytes(settings));
    ports = {u"ttyS0"};
    Open();
    EXPECT_TRUE(Control<QRadioButton>(IDC_RADIO_TCP)->isChecked());
    EXPECT_EQ(Control<QLineEdit>(IDC_FILE_PATH)->text().toStdString(), path);

    Control<QAbstractButton>(IDOK)->click();
    ASSERT_TRUE(ProcessEventsUntil([this] { return dlg.m_bBusy == 0; }));
    EXPECT_EQ(sim.Wait(), 0);  // the upload went to the saved address and port
    EXPECT_EQ(pyrrow::test::StoredImages(dir.path() / "store"), std::vector<std::string>{file});

    host->close();
    host.reset();  // destroys the window: the settings are saved once more
    const std::u16string expected =
        u"\uFEFF<DriverSetting>\r\n\t<Address pc=\"1\" />\r\n\t<File path=\"" + std::u16string(path.begin(), path.end()) +
        u"\" />\r\n\t<Communication type=\"TCP\">\r\n\t\t<TCP ip=\"127.0.0.1\" port=\"" +
        std::u16string(port.begin(), port.end()) +
        u"\" timeout=\"5000\" readDelay=\"300\" />\r\n\t</Communication>\r\n</DriverSetting>\r\n";
    EXPECT_EQ(pyrrow::test::ReadBytes(settingsDir.path() / "pyrrow.config"), pyrrow::test::Utf16LeBytes(expected));
}

}  // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
