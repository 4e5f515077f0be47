#include "ui/qt/qt_dialog_host.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QFileDialog>
#include <QFontMetrics>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QMetaObject>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QThread>
#include <QTimer>

#include <vector>

#include "res/images.h"
#include "res/resource.h"
#include "ui/qt/caption_fit.h"
#include "ui/qt/ip_address_field.h"

namespace pyrrow::ui {
namespace {

using platform::DialogEvent;
using res::ControlKind;

QString ToQString(const std::u16string& s)
{
    return QString::fromUtf16(s.data(), static_cast<qsizetype>(s.size()));
}

// A blocking queued call orders everything before it on the calling thread
// before the call on the window's thread, and the call before its return.
// Qt builds that on futexes, which ThreadSanitizer cannot see; these
// annotations tell it in a thread-sanitized build and vanish otherwise.
#if defined(__SANITIZE_THREAD__)
extern "C" void __tsan_acquire(void* address);
extern "C" void __tsan_release(void* address);
void HandOver(void* token) { __tsan_release(token); }
void TakeOver(void* token) { __tsan_acquire(token); }
#else
void HandOver(void*) {}
void TakeOver(void*) {}
#endif

// Dialog units: a horizontal unit is a quarter of the font's average
// character width, a vertical one an eighth of its height.
struct DialogUnits {
    explicit DialogUnits(const QFontMetrics& metrics)
        : baseX((metrics.horizontalAdvance(QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz")) / 26 + 1) / 2),
          baseY(metrics.height())
    {
    }
    int X(int units) const { return units * baseX / 4; }
    int Y(int units) const { return units * baseY / 8; }

    int baseX;
    int baseY;
};

}  // namespace

QtDialogHost::QtDialogHost(platform::CDialogBase* dialog, const res::DialogTemplate& dialogTemplate)
    : QDialog(nullptr, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                           Qt::WindowCloseButtonHint),
      m_dialog(dialog)
{
    setWindowTitle(QString::fromUtf16(dialogTemplate.caption));
    // The template was laid out for the template's font; where it is missing,
    // fonts of the same metrics keep the captions inside their controls.
    QFont dialogFont = font();
    dialogFont.setFamilies({QString::fromUtf16(dialogTemplate.fontName), QStringLiteral("Tahoma"),
                            QStringLiteral("Arial"), QStringLiteral("Liberation Sans"), QStringLiteral("Nimbus Sans"),
                            dialogFont.family()});
    setFont(dialogFont);
    m_dialog->AttachHost(this);
    BuildControls(dialogTemplate);
}

QtDialogHost::~QtDialogHost()
{
    if (!m_destroyed)
        m_dialog->OnEvent(DialogEvent::Destroy, 0);
    m_dialog->AttachHost(nullptr);
}

void QtDialogHost::BuildControls(const res::DialogTemplate& t)
{
    const DialogUnits du{QFontMetrics(font())};
    QWidget* previous = nullptr;
    std::vector<QWidget*> built;
    std::vector<CaptionPlace> places;
    for (const res::ControlTemplate& c : t.controls) {
        const QString caption = QString::fromUtf16(c.caption);
        QWidget* w = nullptr;
        int height = du.Y(c.height);
        switch (c.kind) {
        case ControlKind::PushButton:
        case ControlKind::BitmapButton: {
            // As in the Windows dialog manager: Enter presses the push
            // button that has the focus, and "Nahrát" while none has it.
            auto* button = new QPushButton(caption, this);
            button->setAutoDefault(true);
            button->setDefault(c.id == IDOK);
            connect(button, &QPushButton::clicked, this, [this, id = c.id] { m_dialog->OnEvent(DialogEvent::Command, id); });
            w = button;
            break;
        }
        case ControlKind::RadioButton: {
            auto* radio = new QRadioButton(caption, this);
            connect(radio, &QRadioButton::clicked, this, [this, id = c.id] { m_dialog->OnEvent(DialogEvent::Command, id); });
            w = radio;
            break;
        }
        case ControlKind::Label: {
            auto* label = new QLabel(caption, this);
            label->setAlignment((c.alignRight ? Qt::AlignRight : Qt::AlignLeft) | Qt::AlignVCenter);
            w = label;
            break;
        }
        case ControlKind::ReadOnlyEdit: {
            auto* edit = new QLineEdit(this);
            edit->setReadOnly(true);
            w = edit;
            break;
        }
        case ControlKind::DropDownList: {
            auto* list = new QComboBox(this);
            list->setEditable(false);
            // The template's height includes the open list; the closed box is one line.
            height = std::min(height, list->sizeHint().height());
            connect(list, &QComboBox::activated, this, [this, id = c.id] { m_dialog->OnEvent(DialogEvent::SelChange, id); });
            w = list;
            break;
        }
        case ControlKind::IpAddress:
            w = new IpAddressField(this);
            break;
        case ControlKind::ProgressBar: {
            auto* bar = new QProgressBar(this);
            bar->setTextVisible(false);
            bar->setRange(0, 100);
            bar->setValue(0);
            w = bar;
            break;
        }
        }
        w->setGeometry(du.X(c.x), du.Y(c.y), du.X(c.width), height);
        w->setEnabled(c.enabled);
        w->setFocusPolicy(c.tabStop ? Qt::StrongFocus : (c.kind == ControlKind::RadioButton ? Qt::ClickFocus : Qt::NoFocus));
        if (c.id != IDC_STATIC) {
            w->setObjectName(QString::number(c.id));
            m_controls[c.id] = w;
        }
        if (c.tabStop && previous != nullptr)
            setTabOrder(previous, w);
        if (c.tabStop)
            previous = w;
        built.push_back(w);
        places.push_back({w->geometry(), CaptionWidth(w), c.kind == ControlKind::Label && c.alignRight});
    }
    QSize size(du.X(t.width), du.Y(t.height));
    const std::vector<QRect> fitted = FitCaptions(places, &size);
    for (std::size_t i = 0; i < built.size(); ++i)
        built[i]->setGeometry(fitted[i]);
    setFixedSize(size);
}

QWidget* QtDialogHost::Control(int id) const
{
    const auto it = m_controls.find(id);
    return it == m_controls.end() ? nullptr : it->second;
}

template <class T>
T* QtDialogHost::ControlAs(int id) const
{
    return qobject_cast<T*>(Control(id));
}

template <class F>
auto QtDialogHost::OnGuiThread(F f) -> std::invoke_result_t<F>
{
    using Result = std::invoke_result_t<F>;
    // A blocking call into one's own thread would deadlock: run it directly.
    if (QThread::currentThread() == thread())
        return f();
    if constexpr (std::is_void_v<Result>) {
        OnGuiThread([&f] {
            f();
            return 0;
        });
    } else {
        int token = 0;
        HandOver(&token);
        Result result{};
        QMetaObject::invokeMethod(
            this,
            [&result, &f, &token] {
                TakeOver(&token);
                result = f();
                HandOver(&token);
            },
            Qt::BlockingQueuedConnection);
        TakeOver(&token);
        return result;
    }
}

int QtDialogHost::RunModal()
{
    m_dialog->OnInitDialog();
    const int result = exec();
    m_destroyed = true;
    m_dialog->OnEvent(DialogEvent::Destroy, 0);
    return result;
}

void QtDialogHost::EnableControl(int id, bool enable)
{
    OnGuiThread([=, this] {
        if (QWidget* w = Control(id))
            w->setEnabled(enable);
    });
}

bool QtDialogHost::IsButtonChecked(int id)
{
    return OnGuiThread([=, this] {
        auto* b = ControlAs<QAbstractButton>(id);
        return b != nullptr && b->isChecked();
    });
}

void QtDialogHost::CheckRadioButton(int first, int last, int id)
{
    OnGuiThread([=, this] {
        for (int i = first; i <= last; ++i) {
            if (auto* radio = ControlAs<QRadioButton>(i)) {
                // Unchecking needs the group's exclusivity off for a moment.
                radio->setAutoExclusive(false);
                radio->setChecked(i == id);
                radio->setAutoExclusive(true);
            }
        }
    });
}

void QtDialogHost::SetControlText(int id, const std::u16string& text)
{
    OnGuiThread([=, this] {
        if (auto* edit = ControlAs<QLineEdit>(id))
            edit->setText(ToQString(text));
        else if (auto* label = ControlAs<QLabel>(id))
            label->setText(ToQString(text));
        else if (auto* button = ControlAs<QAbstractButton>(id))
            button->setText(ToQString(text));
    });
}

int QtDialogHost::ListGetCount(int id)
{
    return OnGuiThread([=, this] {
        auto* list = ControlAs<QComboBox>(id);
        return list != nullptr ? list->count() : 0;
    });
}

int QtDialogHost::ListGetSelection(int id)
{
    return OnGuiThread([=, this] {
        auto* list = ControlAs<QComboBox>(id);
        return list != nullptr ? list->currentIndex() : -1;
    });
}

std::u16string QtDialogHost::ListGetItemText(int id, int index)
{
    return OnGuiThread([=, this] {
        auto* list = ControlAs<QComboBox>(id);
        const bool there = list != nullptr && index >= 0 && index < list->count();
        return there ? list->itemText(index).toStdU16String() : std::u16string();
    });
}

void QtDialogHost::ListReset(int id)
{
    OnGuiThread([=, this] {
        if (auto* list = ControlAs<QComboBox>(id))
            list->clear();
    });
}

void QtDialogHost::ListAdd(int id, const std::u16string& text)
{
    OnGuiThread([=, this] {
        if (auto* list = ControlAs<QComboBox>(id)) {
            // A new list shows no selection until one is made, as the common control does.
            const bool first = list->count() == 0;
            list->addItem(ToQString(text));
            if (first)
                list->setCurrentIndex(-1);
        }
    });
}

void QtDialogHost::ListSelect(int id, int index)
{
    OnGuiThread([=, this] {
        if (auto* list = ControlAs<QComboBox>(id))
            list->setCurrentIndex(index >= 0 && index < list->count() ? index : -1);
    });
}

std::uint32_t QtDialogHost::IpGetAddress(int id)
{
    return OnGuiThread([=, this] {
        auto* field = ControlAs<IpAddressField>(id);
        return field != nullptr ? field->Address() : 0u;
    });
}

void QtDialogHost::IpSetAddress(int id, std::uint32_t address)
{
    OnGuiThread([=, this] {
        if (auto* field = ControlAs<IpAddressField>(id))
            field->SetAddress(address);
    });
}

void QtDialogHost::ProgressSetRange(int id, int low, int high)
{
    OnGuiThread([=, this] {
        ++m_progressGeneration;
        if (auto* bar = ControlAs<QProgressBar>(id))
            bar->setRange(low, high);
    });
}

void QtDialogHost::ProgressSetPosition(int id, int position)
{
    OnGuiThread([=, this] {
        ++m_progressGeneration;
        if (auto* bar = ControlAs<QProgressBar>(id))
            bar->setValue(position);
    });
}

void QtDialogHost::ProgressPostPosition(int id, int position)
{
    if (QThread::currentThread() == thread())
        return ProgressSetPosition(id, position);
    m_postedBar = id;
    m_postedPosition = position;
    // One update on its way is enough: it shows the newest value when it
    // runs, a moment later so that the bar is drawn a few times a second
    // rather than for every block, and not at all once a later synchronous
    // call has set the bar.
    if (m_positionPending.exchange(true))
        return;
    const unsigned generation = m_progressGeneration;
    QMetaObject::invokeMethod(
        this,
        [this, generation] {
            QTimer::singleShot(kPostedProgressDelayMs, this, [this, generation] {
                m_positionPending = false;
                if (generation != m_progressGeneration)
                    return;
                if (auto* bar = ControlAs<QProgressBar>(m_postedBar))
                    bar->setValue(m_postedPosition);
            });
        },
        Qt::QueuedConnection);
}

void QtDialogHost::MessageBox(const std::u16string& text, const std::u16string& caption, unsigned style)
{
    OnGuiThread([=, this] {
        const unsigned icon = style & platform::MB_ICONMASK;
        QMessageBox box(icon == platform::MB_ICONERROR         ? QMessageBox::Critical
                        : icon == platform::MB_ICONEXCLAMATION ? QMessageBox::Warning
                                                               : QMessageBox::NoIcon,
                        ToQString(caption), ToQString(text), QMessageBox::Ok, this);
        box.exec();
    });
}

std::optional<std::u16string> QtDialogHost::ChooseFileToOpen(const platform::OpenFileRequest& request)
{
    return OnGuiThread([&, this]() -> std::optional<std::u16string> {
        QFileDialog chooser(this);
        chooser.setAcceptMode(QFileDialog::AcceptOpen);
        chooser.setFileMode(QFileDialog::ExistingFile);
        chooser.setDirectory(ToQString(request.initialDirectory));
        QStringList filters;
        for (const platform::FileFilter& f : request.filters)
            filters << ToQString(f.name) + QStringLiteral(" (") + ToQString(f.pattern) + QStringLiteral(")");
        chooser.setNameFilters(filters);
        chooser.setDefaultSuffix(ToQString(request.defaultExtension));
        if (chooser.exec() != QDialog::Accepted || chooser.selectedFiles().isEmpty())
            return std::nullopt;
        return chooser.selectedFiles().constFirst().toStdU16String();
    });
}

void QtDialogHost::SetWindowIcon(int iconId)
{
    OnGuiThread([=, this] {
        if (iconId != IDR_MAINFRAME)
            return;
        QIcon icon;
        icon.addPixmap(QPixmap(res::kIcon16));
        icon.addPixmap(QPixmap(res::kIcon32));
        setWindowIcon(icon);
    });
}

void QtDialogHost::SetButtonBitmap(int id, int bitmapId)
{
    OnGuiThread([=, this] {
        auto* button = ControlAs<QPushButton>(id);
        if (button == nullptr || bitmapId != IDB_REFRESH)
            return;
        button->setIcon(QIcon(QPixmap(res::kRefreshBitmap)));
        button->setIconSize(button->size() - QSize(4, 4));
    });
}

void QtDialogHost::EndDialog(int result)
{
    OnGuiThread([=, this] { done(result); });
}

void QtDialogHost::closeEvent(QCloseEvent* event)
{
    // The dialog's logic decides; it ends the dialog itself when it may.
    event->ignore();
    m_dialog->OnEvent(DialogEvent::Close, 0);
}

void QtDialogHost::reject()
{
    m_dialog->OnEvent(DialogEvent::Command, IDCANCEL);
}

}  // namespace pyrrow::ui
