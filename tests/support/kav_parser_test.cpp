#include "support/KavParser.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <random>

#include "platform/exceptions.h"
#include "platform/files.h"

namespace fs = std::filesystem;
using namespace hv;

namespace {

using Lines = std::vector<std::string>;

// Typifies and builds from the given file lines, as LoadFromFile does after reading.
void Parse(TKavParser& parser, Lines lines) {
    parser.Lines = std::move(lines);
    ASSERT_TRUE(parser.MakeTypifiedLines()) << parser.TypifyError();
    parser.BuildTree();
}

Lines Typify(Lines lines) {
    TKavParser parser;
    parser.Lines = std::move(lines);
    EXPECT_TRUE(parser.MakeTypifiedLines()) << parser.TypifyError();
    return parser.Lines;
}

std::string Attr(const TKavXMLTag* tag, std::string_view name) {
    const TKavParserAttribute* a = tag->FindAttribute(name);
    return a ? a->Value : "<missing>";
}

// Every child points back at its parent, and no typed line lacks its type; walks iteratively.
void ExpectConsistent(const TKavXMLTag& root) {
    std::vector<const TKavXMLTag*> pending{&root};
    while (!pending.empty()) {
        const TKavXMLTag* tag = pending.back();
        pending.pop_back();
        for (const auto& child : tag->Children()) {
            ASSERT_EQ(child->Parent(), tag);
            pending.push_back(child.get());
        }
    }
}

class KavParserFileTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir = fs::temp_directory_path() /
              ("hv_kavparser_" + std::to_string(::getpid()) + "_" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir);
        fs::create_directories(dir);
    }
    void TearDown() override { fs::remove_all(dir); }
    std::string Write(const std::string& name, const std::string& bytes) {
        fs::path p = dir / name;
        std::ofstream(p, std::ios::binary) << bytes;
        return p.string();
    }
    fs::path dir;
};

}  // namespace

TEST_F(KavParserFileTest, DocumentWithHeadHangsUnderARootNamedAfterTheHead) {
    TKavParser parser;
    parser.LoadFromFile(
        Write("KavViewer.config",
              "<?xml version=\"1.0\"?>\r\n<Cfg>\r\n  <Mode>testing</Mode>\r\n</Cfg>\r\n"));
    EXPECT_EQ(parser.Name(), "xml");
    ASSERT_EQ(parser.Attributes().size(), 1u);
    EXPECT_EQ(parser.Attributes()[0]->Name, "version");
    EXPECT_EQ(parser.Attributes()[0]->Value, "1.0");
    ASSERT_EQ(parser.Children().size(), 1u);
    TKavXMLTag* cfg = parser.FindChild("Cfg");
    ASSERT_NE(cfg, nullptr);
    ASSERT_EQ(cfg->Children().size(), 1u);
    EXPECT_EQ(cfg->FindChild("Mode")->Value(), "testing");
    EXPECT_EQ(cfg->FindChild("Mode")->Parent(), cfg);
    EXPECT_EQ(cfg->Parent(), &parser);
}

TEST_F(KavParserFileTest, EveryLineBreakStyleReadsAsOneBlank) {
    for (const char* text :
         {"<a>one\ntwo\tthree</a>", "<a>one\r\ntwo\tthree</a>", "<a>one\rtwo\tthree</a>"}) {
        TKavParser parser;
        parser.LoadFromFile(Write("t.xml", text));
        ASSERT_NE(parser.FindChild("a"), nullptr) << text;
        EXPECT_EQ(parser.FindChild("a")->Value(), "one two three") << text;
    }
    // Runs of blanks stay; blanks inside a tag between attributes do not matter.
    TKavParser parser;
    parser.LoadFromFile(Write("t.xml", "<a\r\n  k=\"v\"\tj = \"w\">x  \r\n  y</a>"));
    TKavXMLTag* a = parser.FindChild("a");
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(a->Value(), "x     y");
    EXPECT_EQ(Attr(a, "k"), "v");
    EXPECT_EQ(Attr(a, "j"), "w");
}

TEST_F(KavParserFileTest, MissingFileRaisesAFileError) {
    TKavParser parser;
    EXPECT_THROW(parser.LoadFromFile((dir / "absent.config").string()), EInOutError);
}

TEST(KavParserTest, TypedLinesKeepOrTrimTheirPayloadByKind) {
    EXPECT_EQ(
        Typify({"<?xml  v=\"1\" ?>", " lead &lt;x&gt; ", "<!-- gone <a> -->", "<a\tk=\"1\" >",
                "</ a >", "<b />", "<>", "</>", "tail"}),
        (Lines{"4xml  v=\"1\" ", "0lead <x>", "3a k=\"1\"", "1 a ", "2b", "3", "1", "0tail"}));
    // A head or end tag spanning lines keeps the blank of each line break, untrimmed.
    EXPECT_EQ(Typify({"<?x", "y?></a", "b>"}), (Lines{"4x y", "1a b"}));
    // A ">" inside quotes ends the tag; quotes are not looked at in this pass.
    EXPECT_EQ(Typify({"<a href=\"x>y\">"}), (Lines{"3a href=\"x", "0y\">"}));
    // A "<" with no ">" anywhere after it is skipped; the text around it stays text.
    EXPECT_EQ(Typify({"one < two"}), (Lines{"0one", "0two"}));
    EXPECT_EQ(Typify({}), Lines{});
    EXPECT_EQ(Typify({"", "  ", "\t"}), Lines{});
}

TEST(KavParserTest, TreeFollowsStartEmptyAndEndTags) {
    TKavParser parser;
    Parse(parser, {"<a>one<b k=\"v\"/>two</a><c/>"});
    ASSERT_EQ(parser.Children().size(), 2u);
    TKavXMLTag* a = parser.Children()[0].get();
    EXPECT_EQ(a->Name(), "a");
    EXPECT_EQ(a->Value(), "two");  // the later text replaces the earlier
    ASSERT_EQ(a->Children().size(), 1u);
    EXPECT_EQ(Attr(a->Children()[0].get(), "k"), "v");
    EXPECT_EQ(parser.Children()[1]->Name(), "c");

    // End tags are not matched by name: any end tag closes the current tag.
    Parse(parser, {"<a><b></zzz>after b</q>after a"});
    ASSERT_EQ(parser.Children().size(), 1u);
    EXPECT_EQ(parser.FindChild("a")->Value(), "after b");
    EXPECT_EQ(parser.Value(), "after a");

    // Trailing text belongs to whatever tag is current at the end.
    Parse(parser, {"<cfg><m>1</m>", "  trailing text  "});
    EXPECT_EQ(parser.FindChild("cfg")->Value(), "trailing text");

    // A blank before the slash of an empty-element tag: the name is the text before it.
    Parse(parser, {"<b />"});
    ASSERT_EQ(parser.Children().size(), 1u);
    EXPECT_EQ(parser.LastChild()->Name(), "b");
    EXPECT_TRUE(parser.LastChild()->Attributes().empty());

    // Rebuilding starts afresh but keeps the root's name and value.
    parser.SetValue("kept");
    Parse(parser, {"<x/>"});
    EXPECT_EQ(parser.Children().size(), 1u);
    EXPECT_EQ(parser.Value(), "kept");
    EXPECT_EQ(parser.Name(), "root");
}

TEST(KavParserTest, ExtraEndTagsStopTheTreeKeepingWhatWasBuilt) {
    TKavParser parser;
    Parse(parser, {"<a><b/></a></a><c/>text"});
    ASSERT_EQ(parser.Children().size(), 1u);
    EXPECT_EQ(parser.FindChild("a")->Children().size(), 1u);
    EXPECT_EQ(parser.FindChild("c"), nullptr);
    EXPECT_EQ(parser.Value(), "");
    Parse(parser, {"</a><b/>"});
    EXPECT_TRUE(parser.Children().empty());
}

TEST(KavParserTest, EntitiesAreDecodedInTextAndValuesOnly) {
    TKavParser parser;
    Parse(parser, {"<t&amp; k&lt;=\"a&amp;b &quot;q&quot; &apos;\">x &gt; y</t&amp;>"});
    TKavXMLTag* t = parser.FindChild("t&amp;");
    ASSERT_NE(t, nullptr);
    EXPECT_EQ(Attr(t, "k&lt;"), "a&b \"q\" '");
    EXPECT_EQ(t->Value(), "x > y");
    // One pass per entity, in order: what "&amp;" yields is not decoded again, and unknown
    // entities and character references stay as written.
    EXPECT_EQ(KavDecodeEntities("&amp;lt; &amp;amp; &#65; &LT; &lt;&gt;"),
              "&lt; &amp; &#65; &LT; <>");
    EXPECT_EQ(KavNormalizeWhitespace("a\r\n\tb\n\rc"), "a  b\n\rc");
    EXPECT_EQ(KavTrim(std::string_view("\x01 \r\nab c\x1f \x7f\xa0 \t", 14)), "ab c\x1f \x7f\xa0");
}

TEST(KavParserTest, MalformedAttributesStopOnlyTheirTag) {
    TKavXMLTag tag("p");
    EXPECT_EQ(tag.AddTagByString("t a=\"1\" b"),
              "[TKavXMLTag.AddTagByString] Expected Attribute name but found nothing! Tag name: "
              "\"t\".");
    EXPECT_EQ(tag.AddTagByString("t a=\"1\" b =x"),
              "[TKavXMLTag.AddTagByString] Expected open \" in Attribute value but found "
              "nothing! Tag name: \"t\", Attribute name: \"b\".");
    EXPECT_EQ(tag.AddTagByString("t a=\"1\" b= \"x"),
              "[TKavXMLTag.AddTagByString] Expected closed \" in Attribute value but found "
              "nothing! Tag name: \"t\", Attribute name: \"b\".");
    ASSERT_EQ(tag.Children().size(), 3u);
    for (const auto& child : tag.Children()) {
        EXPECT_EQ(child->Name(), "t");
        ASSERT_EQ(child->Attributes().size(), 1u);
        EXPECT_EQ(Attr(child.get(), "a"), "1");
        EXPECT_EQ(child->Parent(), &tag);
    }
    // Text between "=" and the opening quote is skipped; names may repeat, the first is found.
    EXPECT_EQ(tag.AddTagByString("u k=junk\"v1\" k=\"v2\" =\"anon\""), "");
    TKavXMLTag* u = tag.LastChild();
    ASSERT_EQ(u->Attributes().size(), 3u);
    EXPECT_EQ(Attr(u, "k"), "v1");
    EXPECT_EQ(u->Attributes()[1]->Value, "v2");
    EXPECT_EQ(u->Attributes()[2]->Name, "");
    // A child is added even for empty content.
    EXPECT_EQ(tag.AddTagByString(""), "");
    EXPECT_EQ(tag.Children().size(), 5u);
    EXPECT_EQ(tag.FindChild("T"), nullptr);  // names compare with case

    // In a document the rest is read normally after a malformed tag.
    TKavParser parser;
    Parse(parser, {"<t a=\"1\" b><u/>text</t><v/>"});
    TKavXMLTag* t = parser.FindChild("t");
    ASSERT_NE(t, nullptr);
    EXPECT_EQ(Attr(t, "a"), "1");
    EXPECT_NE(t->FindChild("u"), nullptr);
    EXPECT_EQ(t->Value(), "text");
    EXPECT_NE(parser.FindChild("v"), nullptr);
}

TEST(KavParserTest, HeadReplacesEverythingBuiltBeforeIt) {
    TKavParser parser;
    Parse(parser, {"<a><b/>", "<?cfg  mode=\"x\" mode=\"y\"?>", "text<c/>"});
    EXPECT_EQ(parser.Name(), "cfg");
    ASSERT_EQ(parser.Attributes().size(), 2u);
    EXPECT_EQ(Attr(&parser, "mode"), "x");
    // The tag that was current went with the head; reading goes on at the root.
    EXPECT_EQ(parser.Value(), "text");
    ASSERT_EQ(parser.Children().size(), 1u);
    EXPECT_EQ(parser.Children()[0]->Name(), "c");
    EXPECT_EQ(parser.Children()[0]->Parent(), &parser);
    Parse(parser, {"<?"
                   "?>"});
    EXPECT_EQ(parser.Name(), "");
}

TEST_F(KavParserFileTest, UnterminatedCommentOrHeadLeavesAnEmptyTree) {
    // The file's lines begin with type digits on purpose: they must not be read as typed lines.
    struct Case {
        const char* text;
        const char* error;
    } cases[] = {
        {"<a>\r\n2b\r\n3c\r\n<!-- open\r\n0x", "Comments started, but never ended!"},
        {"4xml v=\"1\"\r\n<a/><?xml never closed", "XML Head started, but never ended!"},
        {"<!-->", "Comments started, but never ended!"},
        {"<?>", "XML Head started, but never ended!"},
    };
    for (const Case& c : cases) {
        TKavParser parser;
        parser.AddChild("old", "");
        parser.AddAttribute("old", "");
        std::string file = Write("bad.config", c.text);
        parser.LoadFromFile(file);
        EXPECT_EQ(parser.TypifyError(), std::string("[TKavXMLTag.MakeTypifiedLines] ") + c.error);
        EXPECT_EQ(parser.Name(), "root");
        EXPECT_TRUE(parser.Children().empty()) << c.text;
        EXPECT_TRUE(parser.Attributes().empty()) << c.text;
        EXPECT_EQ(parser.FindChild("a"), nullptr);
        EXPECT_EQ(parser.Lines, ReadFileLines(file));  // the file's own lines stay
    }
    TKavParser parser;
    Parse(parser, {"<!-- a --><!---->x"});
    EXPECT_EQ(parser.Value(), "x");
    EXPECT_TRUE(parser.TypifyError().empty());
}

TEST(KavParserTest, CopyFromMakesAnIndependentDeepCopy) {
    TKavParser source;
    Parse(source, {"<a k=\"1\" j=\"2\">va<b>vb<c/></b><d/></a>"});
    TKavXMLTag* a = source.FindChild("a");

    TKavXMLTag copy("old", "old");
    copy.AddChild("gone", "");
    copy.AddAttribute("gone", "");
    copy.CopyFrom(a);
    EXPECT_EQ(copy.Name(), "a");
    EXPECT_EQ(copy.Value(), "va");
    ASSERT_EQ(copy.Attributes().size(), 2u);
    EXPECT_EQ(copy.Attributes()[1]->Name, "j");
    ASSERT_EQ(copy.Children().size(), 2u);
    TKavXMLTag* b = copy.FindChild("b");
    EXPECT_NE(b, a->FindChild("b"));
    EXPECT_EQ(b->Parent(), &copy);
    EXPECT_EQ(b->Value(), "vb");
    EXPECT_EQ(b->FindChild("c")->Parent(), b);
    EXPECT_EQ(copy.Children()[1]->Name(), "d");
    ExpectConsistent(copy);

    source.ClearChildren();  // the copy does not share anything with the source
    EXPECT_EQ(copy.FindChild("b")->FindChild("c")->Name(), "c");

    copy.CopyFrom(nullptr);
    EXPECT_EQ(copy.Name(), "a");

    // Copying from itself or from a tag inside itself reads the source before clearing.
    copy.CopyFrom(&copy);
    EXPECT_EQ(copy.Children().size(), 2u);
    copy.CopyFrom(copy.FindChild("b"));
    EXPECT_EQ(copy.Name(), "b");
    ASSERT_EQ(copy.Children().size(), 1u);
    EXPECT_EQ(copy.Children()[0]->Name(), "c");
    EXPECT_EQ(copy.Children()[0]->Parent(), &copy);
    EXPECT_TRUE(copy.Attributes().empty());
}

TEST(KavParserTest, DeepNestingNeitherOverflowsTheStackNorLeaks) {
    constexpr int depth = 400'000;
    std::string text;
    for (int i = 0; i < depth; ++i) text += "<a>";
    TKavParser parser;
    Parse(parser, {text});
    const TKavXMLTag* tag = &parser;
    int levels = 0;
    while (!tag->Children().empty()) {
        tag = tag->LastChild();
        ++levels;
    }
    EXPECT_EQ(levels, depth);
    TKavXMLTag copy;
    copy.CopyFrom(&parser);
    EXPECT_EQ(copy.LastChild()->LastChild()->Parent(), copy.LastChild());
    // Both trees are freed when they go out of scope.
}

TEST(KavParserTest, RandomBytesNeverBreakTheReader) {
    // Seeded, so every run reads the same inputs. Half the strings are raw bytes, half are drawn
    // from the markup alphabet so that tags, heads, comments and attributes actually form.
    std::mt19937 random(20240611);
    const std::string alphabet = "<<<>>>/?!--\"\"==  ab&;lt\r\n\t";
    for (int round = 0; round < 4000; ++round) {
        size_t length = random() % 300;
        std::string bytes(length, '\0');
        for (char& c : bytes)
            c = round % 2 ? static_cast<char>(random() & 0xFF)
                          : alphabet[random() % alphabet.size()];
        TKavParser parser;
        parser.Lines = SplitLines(bytes);
        if (parser.MakeTypifiedLines()) {
            for (const std::string& line : parser.Lines) {
                ASSERT_FALSE(line.empty());
                ASSERT_TRUE(line[0] >= '0' && line[0] <= '4') << line;
            }
        }
        parser.BuildTree();
        ExpectConsistent(parser);
        TKavXMLTag copy;
        copy.CopyFrom(&parser);
    }
}

TEST_F(KavParserFileTest, HostileMarkupAtScaleStaysLinear) {
    // Each of these would take hours with a scan per "<" to the end of the text.
    for (const std::string& unit : {std::string("<"), std::string("<a b=\"")}) {
        std::string text;
        while (text.size() < 4'000'000) text += unit;
        TKavParser parser;
        parser.LoadFromFile(Write("hostile.xml", text));
        EXPECT_TRUE(parser.TypifyError().empty());
        EXPECT_TRUE(parser.Children().empty());
    }
}

TEST_F(KavParserFileTest, FiftyMegabyteFileCompletes) {
    const std::string item =
        "  <Item name=\"n&amp;m\" size=\"12\">text &lt;one&gt;\tand two</Item><!-- c -->\n"
        "  <Empty a=\"1\" />\r\n";
    std::string text = "<?xml version=\"1.0\"?>\n<Cfg>\n";
    size_t items = 0;
    while (text.size() < 50u * 1024 * 1024) {
        text += item;
        ++items;
    }
    text += "</Cfg>\n";
    TKavParser parser;
    parser.LoadFromFile(Write("big.config", text));
    text.clear();
    text.shrink_to_fit();
    ASSERT_EQ(parser.Name(), "xml");
    TKavXMLTag* cfg = parser.FindChild("Cfg");
    ASSERT_NE(cfg, nullptr);
    ASSERT_EQ(cfg->Children().size(), 2 * items);
    const TKavXMLTag* last = cfg->Children()[2 * items - 2].get();
    EXPECT_EQ(last->Value(), "text <one> and two");
    EXPECT_EQ(Attr(last, "name"), "n&m");
    EXPECT_EQ(Attr(cfg->LastChild(), "a"), "1");
}
