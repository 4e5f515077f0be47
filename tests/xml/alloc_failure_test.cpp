// Walks every allocation of representative sequences of operations with that
// allocation failing: each time the documented failure result, an intact
// object, no crash, no exception and (checked by LeakSanitizer at exit) no
// leak.
#include <filesystem>
#include <iterator>
#include <memory>
#include <new>
#include <string>

#include <gtest/gtest.h>

#include "support/failing_allocator.h"
#include "support/notice_capture.h"
#include "support/temp_dir.h"
#include "xml/xml_file.h"

namespace {

using namespace pyrrow::test;

// Runs body with the n-th allocation failing, for n = 1, 2, ... until a run
// needs fewer than n allocations (so it ran with none failing). Before each
// run, prepare sets the scene with every allocation succeeding. A body that
// makes no counted allocation at all fails: its failure paths would never
// be walked (the library's allocations are the non-throwing kind).
template <class Body, class Prepare = void (*)()>
void ForEachFailingAllocation(Body body, Prepare prepare = [] {})
{
    for (long n = 1;; ++n) {
        SCOPED_TRACE(testing::Message() << "allocation " << n << " fails");
        prepare();
        FailNthAllocation(n);
        body();
        const long used = AllocationCount();
        FailNthAllocation(0);
        if (n == 1) {
            EXPECT_GE(used, 1) << "no counted allocation: nothing of the body can fail";
        }
        if (used < n || testing::Test::HasFatalFailure())
            break;
    }
}

// Runs op with the n-th allocation of any kind failing (a throwing one
// throws std::bad_alloc), for n = 1, 2, ... until a run needs fewer than n.
// Before each run prepare sets the scene, after it check looks at the
// result, both with every allocation succeeding. Nothing may escape op.
template <class Op, class Check, class Prepare>
void ForEachFailingAllocationOf(Op op, Check check, Prepare prepare)
{
    for (long n = 1;; ++n) {
        SCOPED_TRACE(testing::Message() << "allocation " << n << " fails");
        prepare();
        if (testing::Test::HasFatalFailure())
            break;
        int result = -1;
        bool threw = false;
        FailNthAllocation(n, Counted::All);
        try {
            result = op();
        } catch (const std::bad_alloc&) {
            threw = true;
        }
        const long used = AllocationCount();
        FailNthAllocation(0);
        if (n == 1) {
            EXPECT_GE(used, 1) << "no counted allocation: nothing of the operation can fail";
        }
        if (threw) {
            ADD_FAILURE() << "std::bad_alloc escaped";
        } else {
            check(result);
        }
        if (used < n || testing::Test::HasFatalFailure())
            break;
    }
}

std::u16string Text(const CDynWString& s)
{
    return s.GetString() != nullptr ? std::u16string(s.GetString()) : u"<null>";
}

// An operation that keeps the old text when memory runs out.
template <class Op>
void ExpectKeepsOnFailure(CDynWString& s, Op op, int failResult, const std::u16string& expected)
{
    const std::u16string before = Text(s);
    const std::int32_t capacity = s.GetCapacity();
    const int result = op();
    if (result == 1) {
        EXPECT_EQ(Text(s), expected);
    } else {
        EXPECT_EQ(result, failResult);
        EXPECT_EQ(Text(s), before);
        EXPECT_EQ(s.GetCapacity(), capacity);
    }
    EXPECT_EQ(s.GetLength(), static_cast<std::int32_t>(s.GetString() ? Text(s).size() : 0));
}

// An operation that releases the buffer before it allocates a new one.
template <class Op>
void ExpectNoBufferOnFailure(CDynWString& s, Op op, const std::u16string& expected)
{
    const int result = op();
    if (result == 1) {
        EXPECT_EQ(Text(s), expected);
    } else {
        EXPECT_EQ(result, 0);
        EXPECT_EQ(s.GetString(), nullptr);
        EXPECT_EQ(s.GetCapacity(), 0);
        EXPECT_EQ(s.GetLength(), 0);
    }
}

TEST(AllocationFailure, StringOperations)
{
    const std::u16string forty(40, u'x');
    ForEachFailingAllocation([&] {
        CDynWString s;
        ExpectNoBufferOnFailure(s, [&] { return s.Set(u"COM1"); }, u"COM1");
        // Without a buffer these behave as Set, so compute from what is there.
        const std::u16string base = s.GetString() ? Text(s) : u"";
        ExpectKeepsOnFailure(s, [&] { return s.Append(forty.c_str()); }, 0, base + forty);
        for (int i = 0; i < 70; ++i) {
            const std::u16string now = s.GetString() ? Text(s) : u"";
            ExpectKeepsOnFailure(s, [&] { return s.AppendChar(u'z'); }, 0, now + u"z");
        }
        if (s.GetString() != nullptr && s.GetLength() > 0) {
            std::u16string expected = Text(s);
            expected.replace(0, 1, forty + forty);
            ExpectKeepsOnFailure(s, [&] { return s.Replace(Text(s).substr(0, 1).c_str(), (forty + forty).c_str(), 0); },
                                 -3, expected);
        }
        const std::u16string now = s.GetString() ? Text(s) : u"";
        ExpectKeepsOnFailure(s, [&] { return s.AppendN(forty.c_str(), 30); }, 0, now + forty.substr(0, 30));
        std::u16string big(300, u'f');
        ExpectNoBufferOnFailure(s, [&] { return s.Format(u"%s-%d", big.c_str(), 5); }, big + u"-5");
        ExpectNoBufferOnFailure(s, [&] { return s.SetN(forty.c_str(), 35); }, forty.substr(0, 35));
        ExpectNoBufferOnFailure(s, [&] { return s.Alloc(1000); }, u"");
    });
}

TEST(AllocationFailure, ElementOperations)
{
    ForEachFailingAllocation([&] {
        CMyTag root;
        if (root.SetName(u"DriverSetting") == 1) {
            EXPECT_EQ(std::u16string(root.GetName()), u"DriverSetting");
        } else {
            EXPECT_EQ(root.GetName(), nullptr);
        }

        for (char16_t c = u'a'; c < u'a' + 40; ++c) {  // past the size that builds a name index
            const char16_t name[] = {c, 0};
            const char16_t value[] = {u'v', c, 0};
            if (root.SetAttribute(name, value) == 1) {
                EXPECT_EQ(std::u16string(root.GetAttribute(name)), value);
            }
        }
        if (root.SetAttribute(u"a", u"replaced") == 1) {
            EXPECT_EQ(std::u16string(root.GetAttribute(u"a")), u"replaced");
        }

        CMyTag* last = root.GetOrAddChild();
        if (last == nullptr) {
            EXPECT_EQ(root.m_pChild, nullptr);
            return;
        }
        EXPECT_EQ(last->m_pParent, &root);
        for (int i = 0; i < 40; ++i) {
            CMyTag* next = last->GetOrAddNext();
            if (next == nullptr) {
                EXPECT_EQ(last->m_pNext, nullptr);
                break;
            }
            next->SetName(u"Child");
            next->AppendTextChar(u't');
            last = next;
        }
        root.DeleteSubtree();
        EXPECT_EQ(root.m_pChild, nullptr);
    });
}

// Counts destructions, to see that no element is lost.
struct CountedTag : CMyTag {
    CountedTag(CMyTag* parent, long* deleted) : CMyTag(parent), m_deleted(deleted) {}
    ~CountedTag() override { ++*m_deleted; }
    long* m_deleted;
};

TEST(AllocationFailure, DeleteSubtreeNeedsNoMemory)
{
    for (const bool siblings : {true, false}) {
        long deleted = 0;
        CMyTag root;
        // One long list of children, or a chain that alternates child and
        // next links.
        CMyTag* last = &root;
        for (int i = 0; i < 3000; ++i) {
            auto* t = new CountedTag(nullptr, &deleted);
            (i == 0 || (!siblings && i % 2 == 0) ? last->m_pChild : last->m_pNext) = t;
            last = t;
        }
        FailNthAllocation(1);
        root.DeleteSubtree();
        FailNthAllocation(0);
        EXPECT_EQ(deleted, 3000) << (siblings ? "siblings" : "alternating");
        EXPECT_EQ(root.m_pChild, nullptr);
    }
}

const std::u16string kSettingsText =
    u"\uFEFF<DriverSetting><Address pc='1'/><File path='a &amp; b.fw'/>"
    u"<Communication type='TCP'><TCP ip='10.0.0.1' port='1998' a='1' b='2' c='3' d='4'/>"
    u"<Note>  some  text </Note><Code><![CDATA[x < y]]></Code></Communication></DriverSetting>";

TEST(AllocationFailure, LoadReadsTheWholeFileOrNothing)
{
    pyrrow::test::TempDir dir;
    const std::u16string path = dir.File("s.xml");
    const std::string bytes = pyrrow::test::Utf16LeBytes(kSettingsText);
    std::unique_ptr<CMyXMLFile> doc;
    ForEachFailingAllocationOf([&] { return doc->Load(path.c_str()); },
                               [&](int loaded) {
                                   EXPECT_EQ(pyrrow::test::ReadBytes(dir.path() / "s.xml"), bytes);
                                   if (loaded == 1) {
                                       EXPECT_EQ(Text(doc->m_strContent), kSettingsText);
                                   } else {
                                       EXPECT_EQ(loaded, 0);
                                       EXPECT_EQ(doc->m_strContent.GetLength(), 0);
                                   }
                               },
                               [&] {
                                   pyrrow::test::WriteBytes(dir.path() / "s.xml", bytes);
                                   doc = std::make_unique<CMyXMLFile>();
                               });
}

// The file the next test shrinks while it is being loaded.
std::filesystem::path g_shrinking;

// A file that shrinks between the look at its size and the read (another
// program writing it) is not taken for what it was: the load gives
// nothing rather than a part of it.
TEST(AllocationFailure, LoadOfAFileThatShrinksMeanwhileGivesNothing)
{
    pyrrow::test::TempDir dir;
    g_shrinking = dir.path() / "s.xml";
    pyrrow::test::WriteBytes(g_shrinking, pyrrow::test::Utf16LeBytes(kSettingsText));
    const std::size_t size = std::filesystem::file_size(g_shrinking);
    const std::u16string path = g_shrinking.u16string();
    CMyXMLFile doc;
    // The content's buffer, as big as the file: it is taken after the size
    // was read and before the bytes are.
    pyrrow::test::BeforeAllocationOfAtLeast(size, [] { std::filesystem::resize_file(g_shrinking, 40); });
    EXPECT_EQ(doc.Load(path.c_str()), 0);
    pyrrow::test::BeforeAllocationOfAtLeast(0, nullptr);
    EXPECT_EQ(std::filesystem::file_size(g_shrinking), 40u);  // the hook ran
    EXPECT_EQ(doc.m_strContent.GetLength(), 0);
    EXPECT_EQ(doc.Parse(), 0);
}

TEST(AllocationFailure, ParseReportsWhereMemoryRanOut)
{
    // The second text makes the parser show its notices about the root, on
    // standard error, with a name long enough to need memory there.
    const std::u16string name = u"DriverSettingsOfTheWholeStation";
    for (const std::u16string& text : {kSettingsText, u"<" + name + u"/></" + name + u">"}) {
        std::unique_ptr<CMyXMLFile> doc;
        ForEachFailingAllocationOf([&] { return doc->Parse(); },
                                   [&](int parsed) {
                                       EXPECT_TRUE(parsed == 1 || parsed == CMyXMLFile::kParseOutOfMemory ||
                                                   parsed == -102 || parsed == CMyXMLFile::kParseUnclosed)
                                           << parsed;
                                   },
                                   [&] {
                                       doc = std::make_unique<CMyXMLFile>();
                                       ASSERT_TRUE(doc->m_strContent.Set(text.c_str()));
                                   });
    }
}

// A save either writes exactly what it writes when memory suffices, or
// fails and leaves the previous file.
TEST(AllocationFailure, SaveWritesTheWholeDocumentOrNothing)
{
    pyrrow::test::TempDir dir;
    const std::u16string path = dir.File("s.xml");
    const std::string previous = pyrrow::test::Utf16LeBytes(u"\uFEFF<previous />\r\n");
    std::unique_ptr<CMyXMLFile> doc;
    const auto parsed = [&] {
        doc.reset();  // it holds the file it saved; Windows would not let it be written meanwhile
        pyrrow::test::WriteBytes(dir.path() / "s.xml", previous);
        doc = std::make_unique<CMyXMLFile>();
        doc->m_strContent.Set(kSettingsText.c_str());
        ASSERT_EQ(doc->Parse(), 1);
    };
    parsed();
    ASSERT_EQ(doc->Save(path.c_str()), 1);
    const std::string complete = pyrrow::test::ReadBytes(dir.path() / "s.xml");

    ForEachFailingAllocationOf(
        [&] { return doc->Save(path.c_str()); },
        [&](int saved) {
            EXPECT_EQ(pyrrow::test::ReadBytes(dir.path() / "s.xml"), saved == 1 ? complete : previous)
                << "Save gave " << saved;
            EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()),
                                    std::filesystem::directory_iterator()),
                      1)
                << "a new file was left beside";
        },
        parsed);
}

}  // namespace
