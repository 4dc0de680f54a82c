// The built help file Sentrio.CHM: every help context the programs ask for opens a topic that the
// file holds, on the subject of the control or window that asks for it; every control of the
// console with a help context has its text pop-up in "::/Cshelp.txt"; and the HTML Help control
// itself opens the file at those contexts (and refuses a context the file does not map).
#include <gtest/gtest.h>

#include <windows.h>

#include <htmlhelp.h>

#include <string>
#include <vector>

#include "arbolin_layout.h"
#include "chm_file.h"
#include "testkit.h"
#include "text_ids.h"
#include "text_strings.h"
#include "tools_commands.h"

namespace {

using testkit::ChmFile;

// A help context the product calls, and the text that names what it is about.
struct ProductContext {
    DWORD id;
    UINT subjectText;  // 0: none to compare
    std::string where;
};

// Read from the programs' own tables: the console's form and each of its controls, the tools
// menu of the client.
std::vector<ProductContext> ProductContexts()
{
    std::vector<ProductContext> contexts;
    contexts.push_back({kFormHelpContext, IDS_KSD_MANAGER, "console (F1)"});
    contexts.push_back({kToolsHelpContext, 0, "client's tools menu (Help)"});
    for (int i = 0; i < kFormControlCount; ++i) {
        const ControlSpec &spec = kFormControls[i];
        if (spec.helpContext == 0)
            continue;
        UINT subject = spec.captionId != 0 ? spec.captionId
                       : spec.kind == ControlKind::kList ? static_cast<UINT>(IDS_READER_LIST_COLUMN) : 0u;
        contexts.push_back({spec.helpContext, subject, "console control " + std::to_string(spec.id)});
    }
    return contexts;
}

std::string WithoutMnemonic(std::string text)
{
    for (size_t at = text.find('&'); at != std::string::npos; at = text.find('&', at))
        text.erase(at, 1);
    return text;
}

std::string HelpFilePath()
{
    return testkit::ExeDir() + "Sentrio.CHM";
}

class HelpFile : public testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(chm.ok()) << HelpFilePath() << " hr=0x" << std::hex << chm.error(); }
    ChmFile chm{HelpFilePath()};
};

TEST_F(HelpFile, EveryContextTheProductCallsOpensATopicOnItsSubject)
{
    std::vector<ProductContext> contexts = ProductContexts();
    ASSERT_GE(contexts.size(), 14u);  // the form, its twelve controls with help, the tools menu
    for (const ProductContext &c : contexts) {
        SCOPED_TRACE(c.where + ", context " + std::to_string(c.id));
        std::string topic = chm.ContextTopic(c.id);
        ASSERT_FALSE(topic.empty()) << "no topic mapped";
        std::string page;
        EXPECT_TRUE(chm.Read(topic, &page)) << topic << " is not in the help file";
        if (c.subjectText != 0) {
            std::string subject = WithoutMnemonic(Text(c.subjectText));
            EXPECT_NE(std::string::npos, chm.Title(topic).find(subject))
                << topic << " is titled \"" << chm.Title(topic) << "\", not about \"" << subject << "\"";
        }
    }
}

TEST_F(HelpFile, ContextsMapToDistinctTopics)
{
    std::vector<ProductContext> contexts = ProductContexts();
    for (size_t i = 0; i < contexts.size(); ++i)
        for (size_t j = i + 1; j < contexts.size(); ++j) {
            if (contexts[i].id != contexts[j].id) {
                EXPECT_NE(chm.ContextTopic(contexts[i].id), chm.ContextTopic(contexts[j].id))
                    << contexts[i].where << " and " << contexts[j].where;
            }
        }
}

TEST_F(HelpFile, AContextNoProgramUsesHasNoTopic)
{
    EXPECT_EQ("", chm.ContextTopic(401));
    EXPECT_EQ("", chm.ContextTopic(0));
}

TEST_F(HelpFile, EveryConsoleControlWithHelpHasItsPopupText)
{
    std::map<DWORD, std::string> popups = chm.Popups("/Cshelp.txt");
    ASSERT_FALSE(popups.empty()) << "no Cshelp.txt in the help file";
    for (int i = 0; i < kFormControlCount; ++i) {
        const ControlSpec &spec = kFormControls[i];
        if (spec.helpContext == 0)
            continue;
        SCOPED_TRACE("control " + std::to_string(spec.id) + ", context " + std::to_string(spec.helpContext));
        auto found = popups.find(spec.helpContext);
        ASSERT_NE(popups.end(), found);
        EXPECT_FALSE(found->second.empty());
        if (spec.captionId != 0) {
            EXPECT_EQ(0u, found->second.find(WithoutMnemonic(Text(spec.captionId)) + ":")) << found->second;
        }
    }
}

TEST_F(HelpFile, TheGuidesAreThere)
{
    for (const char *page : {"/index.htm", "/admin_guide.htm", "/admin_prepare.htm", "/admin_scripted.htm",
                             "/admin_deploy.htm", "/admin_log.htm", "/user_guide.htm", "/user_logon.htm",
                             "/user_pull.htm"}) {
        SCOPED_TRACE(page);
        EXPECT_FALSE(chm.Title(page).empty());
    }
}

// The HTML Help control of the system opens the help file at each context the programs call and
// refuses one that the file does not map.
TEST(HelpControl, OpensTheHelpFileAtEachContextTheProductCalls)
{
    std::string file = HelpFilePath();
    for (const ProductContext &c : ProductContexts()) {
        SCOPED_TRACE(c.where);
        HWND window = HtmlHelpA(nullptr, file.c_str(), HH_HELP_CONTEXT, c.id);
        ASSERT_NE(nullptr, window);
        char caption[128] = "";
        GetWindowTextA(window, caption, sizeof caption);
        EXPECT_STREQ("Morvath Sentrio Help", caption);
    }
    EXPECT_EQ(nullptr, HtmlHelpA(nullptr, file.c_str(), HH_HELP_CONTEXT, 401));
    HtmlHelpA(nullptr, nullptr, HH_CLOSE_ALL, 0);
}

}  // namespace
