// The script API reference and the host's table of published methods name the same functions:
// every script function has its entry (a bold "`Name(...)`" heading in the host-functions chapter),
// every entry is a published script function, and the names listed as not for the script are
// exactly the published host operations.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <regex>
#include <set>
#include <sstream>
#include <string>

#include "main/MainForm.h"

namespace hv::test {
namespace {

std::string ReadReference() {
    const char* here = std::getenv("HV_TEST_DATA");
    std::ifstream in(std::string(here ? here : ".") + "/../../docs/script-api.md");
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// The text from the heading `from` up to the next heading of `to`'s level ("" when missing).
std::string Section(const std::string& text, const std::string& from, const std::string& to) {
    const size_t start = text.find(from);
    if (start == std::string::npos) return "";
    const size_t end = text.find(to, start + from.size());
    return text.substr(start, end == std::string::npos ? std::string::npos : end - start);
}

std::set<std::string> Matches(const std::string& text, const std::regex& pattern) {
    std::set<std::string> names;
    for (auto it = std::sregex_iterator(text.begin(), text.end(), pattern);
         it != std::sregex_iterator(); ++it)
        names.insert((*it)[1]);
    return names;
}

// The names of `a` that `b` lacks, as one text for the failure message.
std::string Lacking(const std::set<std::string>& a, const std::set<std::string>& b) {
    std::string names;
    for (const std::string& name : a)
        if (!b.count(name)) names += name + " ";
    return names;
}

TEST(ScriptApiReference, DocumentsExactlyThePublishedFunctions) {
    const std::string reference = ReadReference();
    ASSERT_FALSE(reference.empty()) << "docs/script-api.md not found";
    const std::string functions = Section(reference, "## 5. Host functions", "\n## ");
    const std::string inert = Section(functions, "### Names that are not for the script", "\n#");
    ASSERT_FALSE(inert.empty());

    // An entry's heading is bold and may name several functions: **`A()`, `B()`**. Entries on
    // the interpreter's own functions say so: **`print(...)`** (Lua's own).
    std::set<std::string> documented;
    const std::regex heading(R"(\*\*(`[^*]+)\*\*(?! \(Lua's own\)))");
    for (const std::string& entry : Matches(functions, heading))
        documented.merge(Matches(entry, std::regex(R"(`(\w+)\()")));
    const std::set<std::string> listedInert =
        Matches(inert.substr(inert.find('\n')), std::regex(R"(`(\w+)`)"));

    std::set<std::string> published, publishedInert;
    for (const TClassInfo* c = &TMainForm::StaticClassInfo(); c; c = c->Parent)
        for (const TPublishedMethod& m : c->Methods)
            (m.ForScript ? published : publishedInert).insert(m.Name);

    EXPECT_EQ(Lacking(published, documented), "") << "published without an entry";
    EXPECT_EQ(Lacking(documented, published), "") << "documented but not published";
    EXPECT_EQ(Lacking(publishedInert, listedInert), "") << "host operations not listed";
    EXPECT_EQ(Lacking(listedInert, publishedInert), "") << "listed but not host operations";
}

}  // namespace
}  // namespace hv::test
