#include <gtest/gtest.h>

#include "platform/window/dialog.h"
#include "support/test_host.h"

namespace {

using pyrrow::platform::DialogEvent;

class ProbeDialog : public pyrrow::platform::CDialogBase {
public:
    void OnBrowse() { ++browsed; }
    int browsed = 0;

protected:
    bool DispatchEvent(DialogEvent event, int id) override
    {
        static const pyrrow::platform::MessageMapEntry<ProbeDialog> map[] = {
            {DialogEvent::Command, 1002, &ProbeDialog::OnBrowse},
        };
        return pyrrow::platform::DispatchFromMap<ProbeDialog>(this, map, event, id);
    }
};

TEST(DialogBase, MessageMapAndDefaults)
{
    pyrrow::test::TestHost host;
    ProbeDialog dialog;
    dialog.AttachHost(&host);
    dialog.OnEvent(DialogEvent::Command, 1002);
    dialog.OnEvent(DialogEvent::Command, 1003);  // no entry, no default
    EXPECT_EQ(dialog.browsed, 1);
    EXPECT_FALSE(host.EndedWith().has_value());
    dialog.OnEvent(DialogEvent::Command, 1);
    EXPECT_EQ(host.EndedWith(), 1);
    dialog.OnEvent(DialogEvent::Close, 0);
    EXPECT_EQ(host.EndedWith(), 2);
}

TEST(DialogBase, SelectExactMatchesTheWholeTextWithoutRegardToCase)
{
    pyrrow::test::TestHost host;
    ProbeDialog dialog;
    dialog.AttachHost(&host);
    host.SetListItems(1000, {u"COM10", u"COM1", u"ttyUSB0", u"\u010Cidlo"}, 2);
    EXPECT_EQ(dialog.ListSelectExact(1000, u"com1"), 1);  // not COM10, which comes first
    EXPECT_EQ(dialog.ListSelectExact(1000, u"TTYusb0"), 2);
    EXPECT_EQ(dialog.ListSelectExact(1000, u"\u010DIDLO"), 3);
    EXPECT_EQ(dialog.ListSelectExact(1000, u"ttyUSB"), -1);
    EXPECT_EQ(dialog.Host().ListGetSelection(1000), 3);  // no match keeps the selection
    EXPECT_EQ(dialog.ListSelectExact(1000, u"COM10 "), -1);
}

}  // namespace
