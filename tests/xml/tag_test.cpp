#include "xml/tag.h"

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support/notice_capture.h"
#include "support/small_stack.h"

namespace {

using namespace pyrrow::test;

std::u16string Str(const char16_t* s)
{
    return s != nullptr ? std::u16string(s) : u"<null>";
}

// An element that counts its destructions, for the deletion tests.
struct CountedTag : CMyTag {
    explicit CountedTag(CMyTag* parent, long* deleted) : CMyTag(parent), m_deleted(deleted) {}
    ~CountedTag() override { ++*m_deleted; }
    long* m_deleted;
};

TEST(SimpleTag, NameIsSetOnce)
{
    NoticeCapture notices;
    CMyTag t;
    EXPECT_EQ(t.GetName(), nullptr);
    EXPECT_EQ(t.SetName(u""), 0);
    EXPECT_EQ(t.SetName(nullptr), 0);
    EXPECT_TRUE(notices.notices().empty());

    EXPECT_EQ(t.SetName(u"DriverSetting"), 1);
    EXPECT_EQ(t.SetName(u"Other"), 0);
    EXPECT_EQ(Str(t.GetName()), u"DriverSetting");
    // A long name is cut, never between the halves of a surrogate pair.
    EXPECT_EQ(t.SetName((std::u16string(63, u'x') + u"\U0001F600").c_str()), 0);
    EXPECT_EQ(notices.notices(), (std::vector<Notice>{{u"Other", u"DriverSetting"},
                                                      {std::u16string(63, u'x') + u"\u2026", u"DriverSetting"}}));
}

TEST(SimpleTag, SixAttributesSpillIntoASecondBlockInOrder)
{
    CMyTag t;
    const char16_t* names[] = {u"a", u"b", u"c", u"d", u"e", u"f"};
    const char16_t* values[] = {u"1", u"2", u"3", u"4", u"5", u"6"};
    for (int i = 0; i < 6; ++i)
        EXPECT_EQ(t.AddAttribute(names[i], values[i]), 1);
    for (int i = 0; i < 6; ++i)
        EXPECT_EQ(Str(t.GetAttribute(names[i])), values[i]);
    ASSERT_NE(t.m_attrs.next, nullptr);
    EXPECT_EQ(Str(t.m_attrs.next->names[0].GetString()), u"f");
    EXPECT_EQ(Str(t.m_attrs.names[4].GetString()), u"e");
    EXPECT_EQ(t.m_attrs.next->next, nullptr);
}

TEST(SimpleTag, SetAttributeReplacesInPlace)
{
    CMyTag t;
    t.SetAttribute(u"type", u"USB");
    t.SetAttribute(u"timeout", u"1000");
    EXPECT_EQ(t.SetAttribute(u"type", u"TCP"), 1);
    EXPECT_EQ(Str(t.m_attrs.names[0].GetString()), u"type");
    EXPECT_EQ(Str(t.m_attrs.values[0].GetString()), u"TCP");
    EXPECT_EQ(t.m_attrs.names[2].GetString(), nullptr);

    EXPECT_EQ(t.SetAttribute(nullptr, u"x"), 0);
    EXPECT_EQ(t.SetAttribute(u"", u"x"), 0);
    EXPECT_EQ(t.SetAttribute(u"x", nullptr), 0);
    EXPECT_EQ(t.AddAttribute(u"x", nullptr), 0);
    EXPECT_EQ(t.AddAttribute(nullptr, u"x"), 0);
    EXPECT_EQ(t.GetAttribute(u"x"), nullptr);
}

TEST(SimpleTag, EmptyValueIsNotMissing)
{
    CMyTag t;
    t.SetAttribute(u"path", u"");
    EXPECT_EQ(Str(t.GetAttribute(u"path")), u"");
    EXPECT_EQ(t.GetAttribute(u"Path"), nullptr);  // names are case-sensitive
    EXPECT_EQ(t.GetAttribute(nullptr), nullptr);
}

// Names that AddAttribute was given twice: the first slot is the one found
// and replaced, however many attributes the element has.
TEST(SimpleTag, ManyAttributesAreFoundAsInBlockOrder)
{
    CMyTag t;
    t.AddAttribute(u"dup", u"first");
    t.AddAttribute(u"dup", u"second");
    std::vector<std::u16string> names;
    for (char16_t i = 0; i < 200; ++i)
        names.push_back(std::u16string(u"n") + static_cast<char16_t>(u'A' + i % 26) + static_cast<char16_t>(u'A' + i / 26));
    for (const std::u16string& n : names)
        ASSERT_EQ(t.AddAttribute(n.c_str(), (u"v" + n).c_str()), 1);
    t.AddAttribute(names[150].c_str(), u"later");

    EXPECT_EQ(t.SetAttribute(u"dup", u"changed"), 1);
    EXPECT_EQ(t.SetAttribute(names[150].c_str(), u"changed too"), 1);
    EXPECT_EQ(t.SetAttribute(u"new", u"last"), 1);
    for (const std::u16string& n : names) {
        if (n != names[150]) {
            EXPECT_EQ(Str(t.GetAttribute(n.c_str())), u"v" + n);
        }
    }

    std::u16string all;
    for (const AttrBlock* b = &t.m_attrs; b != nullptr; b = b->next)
        for (int i = 0; i < AttrBlock::kSlots; ++i)
            if (b->names[i].Compare(u"dup") == 0 || b->names[i].Compare(names[150].c_str()) == 0 ||
                b->names[i].Compare(u"new") == 0)
                all += Str(b->values[i].GetString()) + u";";
    EXPECT_EQ(all, u"changed;second;changed too;later;last;");
}

TEST(SimpleTag, ClearAttributesStartsOverInSlotZero)
{
    CMyTag t;
    for (char16_t c = u'a'; c < u'a' + 40; ++c) {
        const char16_t name[] = {c, 0};
        t.AddAttribute(name, u"v");
    }
    t.ClearAttributes();
    EXPECT_EQ(t.m_attrs.next, nullptr);
    EXPECT_EQ(t.GetAttribute(u"a"), nullptr);
    EXPECT_EQ(t.AddAttribute(u"z", u"1"), 1);
    EXPECT_EQ(Str(t.m_attrs.names[0].GetString()), u"z");
    EXPECT_EQ(t.m_attrs.next, nullptr);
}

TEST(SimpleTag, TextOperations)
{
    CMyTag t;
    EXPECT_EQ(t.GetText(), nullptr);
    t.AppendTextChar(u'x');
    EXPECT_EQ(Str(t.GetText()), u"x");
    EXPECT_EQ(t.m_strText.GetCapacity(), 128);  // prepared with Alloc(64)
    t.SetTextN(u"hello world", 5);
    EXPECT_EQ(Str(t.GetText()), u"hello");
    t.SetTextN(u"", 0);
    EXPECT_EQ(Str(t.GetText()), u"");
}

TEST(Tag, GetOrAddLinks)
{
    CMyTag root;
    CMyTag* child = root.GetOrAddChild();
    ASSERT_NE(child, nullptr);
    EXPECT_EQ(root.GetOrAddChild(), child);
    EXPECT_EQ(child->m_pParent, &root);
    CMyTag* sibling = child->GetOrAddNext();
    ASSERT_NE(sibling, nullptr);
    EXPECT_EQ(child->GetOrAddNext(), sibling);
    EXPECT_EQ(sibling->m_pParent, &root);
    // A sibling of a top-level element has no parent either.
    CMyTag* top = root.GetOrAddNext();
    EXPECT_EQ(top->m_pParent, nullptr);
    root.DeleteSubtree();
}

TEST(Tag, DestroyingAnElementLeavesItsChildren)
{
    long deleted = 0;
    auto* parent = new CountedTag(nullptr, &deleted);
    auto* child = new CountedTag(parent, &deleted);
    parent->m_pChild = child;
    delete parent;
    EXPECT_EQ(deleted, 1);
    delete child;
}

// A tree of n elements below a root, shaped as a few wide levels.
long BuildWideTree(CMyTag& root, long n, long* deleted)
{
    long made = 0;
    CMyTag* parent = &root;
    while (made < n) {
        CMyTag* prev = nullptr;
        for (int i = 0; i < 50 && made < n; ++i, ++made) {
            auto* t = new CountedTag(parent, deleted);
            (prev != nullptr ? prev->m_pNext : parent->m_pChild) = t;
            prev = t;
        }
        parent = parent->m_pChild;
    }
    return made;
}

TEST(Tag, DeleteSubtreeTakesAWideTreeWhole)
{
    long deleted = 0;
    CMyTag root;
    BuildWideTree(root, 3000, &deleted);
    root.DeleteSubtree();
    EXPECT_EQ(deleted, 3000);
    EXPECT_EQ(root.m_pChild, nullptr);
    EXPECT_EQ(root.m_pNext, nullptr);
}

TEST(Tag, DeleteSubtreeTakesTheFollowingSiblingsToo)
{
    long deleted = 0;
    CMyTag parent;
    auto* first = new CountedTag(&parent, &deleted);
    parent.m_pChild = first;
    first->m_pNext = new CountedTag(&parent, &deleted);
    first->m_pChild = new CountedTag(first, &deleted);
    first->m_pNext->m_pNext = new CountedTag(&parent, &deleted);
    first->DeleteSubtree();
    EXPECT_EQ(deleted, 3);  // the element itself stays
    EXPECT_EQ(first->m_pNext, nullptr);
    delete first;
}

class DeepChain : public testing::TestWithParam<bool> {};

TEST_P(DeepChain, DeletedWithoutRecursion)
{
    const bool viaChild = GetParam();
    long deleted = 0;
    CMyTag root;
    CMyTag* last = &root;
    constexpr long kCount = 20'000;
    for (long i = 0; i < kCount; ++i) {
        auto* t = new CountedTag(viaChild ? last : last->m_pParent, &deleted);
        (viaChild ? last->m_pChild : last->m_pNext) = t;
        last = t;
    }
    pyrrow::test::OnSmallStack([&] { root.DeleteSubtree(); });
    EXPECT_EQ(deleted, kCount);
}

INSTANTIATE_TEST_SUITE_P(Links, DeepChain, testing::Values(true, false),
                         [](const testing::TestParamInfo<bool>& p) {
                             return p.param ? "ChildLinks" : "NextLinks";
                         });

}  // namespace
