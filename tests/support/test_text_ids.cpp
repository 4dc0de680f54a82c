// The named texts: every name of text_ids.h has a text in the string table its group names, and
// every text of those tables has a name. The table of cases is the header itself, carried by the
// test program as a resource, so a name added without a text (or a text without a name) fails here.
#include <gtest/gtest.h>

#include <map>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "testkit.h"
#include "texts.h"

namespace {

struct NamedText {
    std::string name;
    UINT id;
    std::string table;  // the .rc file of the group the name stands in
};

// The header as the test program carries it.
std::string HeaderText()
{
    HMODULE program = GetModuleHandleA(nullptr);
    HRSRC found = FindResourceA(program, "TEXT_IDS_HEADER", MAKEINTRESOURCEA(10));  // RT_RCDATA
    if (found == nullptr)
        return {};
    const char *data = static_cast<const char *>(LockResource(LoadResource(program, found)));
    return std::string(data, SizeofResource(program, found));
}

// Rows of the header: "// ---- ... (file.rc) ----" opens a group, "#define IDS_x n" names a text.
std::vector<NamedText> ParseHeader(const std::string &text)
{
    static const std::regex group(R"(^// ----.*\(([^()]+\.rc)\) ----)");
    static const std::regex define(R"(^#define\s+(IDS_\w+)\s+(\d+)\b)");
    std::vector<NamedText> rows;
    std::string table;
    std::istringstream lines(text);
    std::string line;
    std::smatch m;
    while (std::getline(lines, line)) {
        if (std::regex_search(line, m, group)) {
            table = m[1].str();
            size_t slash = table.rfind('/');
            if (slash != std::string::npos)
                table = table.substr(slash + 1);
        } else if (std::regex_search(line, m, define)) {
            rows.push_back({m[1].str(), static_cast<UINT>(std::stoul(m[2].str())), table});
        }
    }
    return rows;
}

// Every text of `module`'s string tables, by id (blocks of 16, block n holding ids 16(n-1)..).
BOOL CALLBACK CollectBlock(HMODULE module, LPCSTR, LPSTR name, LONG_PTR param)
{
    auto *ids = reinterpret_cast<std::set<UINT> *>(param);
    if (!IS_INTRESOURCE(name))
        return TRUE;
    UINT first = (static_cast<UINT>(reinterpret_cast<ULONG_PTR>(name)) - 1) * 16;
    for (UINT id = first; id < first + 16; ++id) {
        char text[8];
        if (LoadStringA(module, id, text, sizeof text) > 0)
            ids->insert(id);
    }
    return TRUE;
}

std::set<UINT> TextsOf(HMODULE module)
{
    std::set<UINT> ids;
    EnumResourceNamesA(module, MAKEINTRESOURCEA(6), CollectBlock, reinterpret_cast<LONG_PTR>(&ids));  // RT_STRING
    return ids;
}

TEST(TextIds, EveryNameHasItsTextAndEveryTextItsName)
{
    const std::vector<NamedText> rows = ParseHeader(HeaderText());
    ASSERT_GT(rows.size(), 100u) << "the header was not carried or not read";

    // The modules each table is carried in: the program carries the shared tables, Ostrel.dll its own.
    HMODULE ostrel = LoadLibraryExA((testkit::ExeDir() + "Ostrel.dll").c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(nullptr, ostrel) << "last error " << GetLastError();
    const std::map<std::string, HMODULE> modules = {
        {"texts_interface.rc", GetModuleHandleA(nullptr)},
        {"texts_messages.rc", GetModuleHandleA(nullptr)},
        {"ostrel.rc", ostrel},
    };

    std::map<UINT, std::string> names;
    std::map<HMODULE, std::set<UINT>> named;
    for (const NamedText &row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_TRUE(names.emplace(row.id, row.name).second) << row.id << " also named " << names[row.id];
        auto module = modules.find(row.table);
        ASSERT_NE(modules.end(), module) << "group of an unknown table '" << row.table << "'";
        named[module->second].insert(row.id);
        // Fetched the way the product fetches it, with the table's module as the first place looked in.
        ResetLanguageForTests();
        ASSERT_TRUE(LoadLanguage(nullptr, module->second));
        char text[kSharedTextSize];
        EXPECT_STRNE("", LoadResString(row.id, text, sizeof text)) << row.id << " has no text in " << row.table;
    }
    ResetLanguageForTests();

    // The other way round: a text of a carried table that the header does not name.
    for (HMODULE module : {GetModuleHandleA(nullptr), ostrel}) {
        for (UINT id : TextsOf(module))
            EXPECT_TRUE(named[module].count(id) == 1) << "text " << id << " has no name in text_ids.h";
    }
    FreeLibrary(ostrel);
}

}  // namespace
