// Help links: the link file and its lookups, the context put into an
// address, opening pages, and the link on the message dialog.
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <optional>

#include <gtest/gtest.h>

#include "UiFixture.h"
#include "diag/DatHE_Unit.h"
#include "support/InstallationTree.h"

namespace {

// Line ends of every kind; blanks around lines; ids written in several ways.
const char* const kLinkFile =
    "; support pages\r\n"
    "[Links]\r\n"
    "0012=\"http://help/12\",\"Twelve\",\"hint 12\"\r\n"
    "  77=\"http://help/?q=*VlxToken*\",\"Search\",\"Search the site\",\"\",\"1\"  \n"
    "77=\"http://dup/\",\"Duplicate\"\r"
    "78=\"http://help/plain\",\"Plain\",\"\",\"\",\"1\"\r\n"
    "79=\"http://help/?q=*VlxToken*\",\"Unasked\",\"\",\"\",\"\"\r\n"
    "80=\"http://help/?q=*VlxToken*&x=*VlxToken*\",\"Second\",\"\",\"\",\"2;1\"\r\n"
    "-81=\"http://help/negative\",\"Negative\"\r\n"
    "82=\"http://help/open\",\"Open\",\"no closing quote\r\n"
    "83=\"http://help/wide\",\"Read about this message on the support site\"\r\n"
    "abc=1\r\n"
    "From-77=Error:\r\n"
    "Remove-77=(code 5)\r\n"
    "\r\n";

class WebHelpLinkTest : public UiTest {
 protected:
  WebHelpLinkTest() { InitLog(); }
  ~WebHelpLinkTest() override { FreeLogHandler(); }

  void WriteLinks(const std::string& text) { tree.WriteFile("DBSys/vlxlnks.vlx", text); }
  std::string Log() const { return TempDir::ReadFile(tree / "Logs/UserLog_RebuildTool.TXT"); }
  void UseEnglish() {
    tree.WriteFile("App/RebuildTool.ENU", "; English\r\nLanguageCode=LNGENG\r\n");
    ASSERT_TRUE(LoadLanguageResources());
  }

  InstallationTree tree;
};

TEST_F(WebHelpLinkTest, LinkFileLines) {
  WriteLinks(kLinkFile);
  TWebHelpLinkMgr& mgr = GetHelpLinkMgr();
  std::vector<std::string> names;
  for (const auto& link : mgr.Links()) names.push_back(link.first);
  EXPECT_EQ(names,
            (std::vector<std::string>{"0012", "77", "77", "78", "79", "80", "-81", "82", "83"}));
  std::vector<std::string> options(mgr.Options().begin(), mgr.Options().end());
  EXPECT_EQ(options, (std::vector<std::string>{"abc=1", "From-77=Error:", "Remove-77=(code 5)"}));

  struct Case {
    int id;
    std::optional<TWebHelpLinkItem> item;  // nullopt: not found
  };
  const std::vector<Case> cases = {
      {12, std::nullopt},  // stored as 0012, looked up as 12
      {77, TWebHelpLinkItem{77, "http://help/?q=*VlxToken*", "Search", "Search the site", "",
                            "1"}},  // first of two
      {-81, TWebHelpLinkItem{-81, "http://help/negative", "Negative", "", "", ""}},
      {82, TWebHelpLinkItem{82, "http://help/open", "Open", "", "",
                            ""}},  // the unterminated hint is dropped
      {5, std::nullopt},
  };
  for (const Case& c : cases) {
    const TWebHelpLinkItem* found = nullptr;
    ASSERT_EQ(mgr.GetLinkItemDtlById(c.id, false, found), c.item.has_value()) << c.id;
    if (!c.item) continue;
    EXPECT_EQ(found->LinkId, c.item->LinkId);
    EXPECT_EQ(found->Url, c.item->Url);
    EXPECT_EQ(found->Caption, c.item->Caption);
    EXPECT_EQ(found->Hint, c.item->Hint);
    EXPECT_EQ(found->Params, c.item->Params);
  }
  EXPECT_TRUE(Shown.empty());  // lookups without errors show nothing
  EXPECT_NE(Log().find("GetLinkItemDtlById"), std::string::npos);
}

TEST_F(WebHelpLinkTest, ContextIntoTheAddress) {
  WriteLinks(kLinkFile);
  TWebHelpLinkMgr& mgr = GetHelpLinkMgr();
  TWebHelpLinkGuiItem item(nullptr, 0, nullptr, nullptr);
  struct Case {
    int id;
    std::string context;
    std::string url;
  };
  const std::vector<Case> cases = {
      {77, "Error: cannot open table", "http://help/?q=cannot%20open%20table"},
      {77, "ERROR:\tcannot open", "http://help/?q=cannot%20open"},  // From- ignores case
      {77, "Failed (code 5) here", "http://help/?q=Failed%20%20here"},
      // The match ignores case, the deletion does not: nothing is removed.
      {77, "Failed (CODE 5) here", "http://help/?q=Failed%20(CODE%205)%20here"},
      {77, "Error:", "http://help/?q="},
      {78, "Error: x", "http://help/plain"},        // no token in the address
      {79, "x", "http://help/?q=*VlxToken*"},       // the link does not ask for it
      {80, "a,b", "http://help/?q=a%2Cb&x=a%2Cb"},  // "1" among others; every token
  };
  for (const Case& c : cases) {
    item.ContextText = c.context;
    std::string url;
    ASSERT_TRUE(mgr.GetLinkUrl(c.id, false, url));
    mgr.ApplyLinkContext(c.id, &item, url);
    EXPECT_EQ(url, c.url) << c.id << " " << c.context;
  }
  std::string url = "http://help/?q=*VlxToken*";
  mgr.ApplyLinkContext(77, nullptr, url);
  EXPECT_EQ(url, "http://help/?q=*VlxToken*");
}

TEST_F(WebHelpLinkTest, OpeningLinksAndTheirErrors) {
  WriteLinks(kLinkFile);
  OpenLinkById(77, "");
  OpenLinkById(12, "http://fallback/");  // not in the file: the fallback, no message
  EXPECT_EQ(Opened, (std::vector<std::string>{"http://help/?q=*VlxToken*", "http://fallback/"}));
  EXPECT_TRUE(Shown.empty());

  OpenLinkById(12, "");
  EXPECT_EQ(Opened.size(), 2u);
  ASSERT_EQ(Shown.size(), 1u);
  EXPECT_EQ(Shown[0].Text, "Link not found");
  EXPECT_EQ(Shown[0].Kind, ui::ModalKind::MessageForm);
  EXPECT_NE(Log().find("12 Link not found Y "), std::string::npos);
}

TEST_F(WebHelpLinkTest, MissingFileIsLoggedOnceAndEveryLookupSaysFileNotFound) {
  OpenLinkById(77, "");
  OpenLinkById(900000016, "");
  EXPECT_TRUE(Opened.empty());
  ASSERT_EQ(Shown.size(), 2u);
  EXPECT_EQ(Shown[0].Text, "File not found");
  const std::string log = Log();
  EXPECT_NE(log.find(".Load"), std::string::npos);
  // The file is not read again in the run, even once it exists.
  WriteLinks(kLinkFile);
  OpenLinkById(77, "http://fallback/");
  EXPECT_EQ(Opened, std::vector<std::string>{"http://fallback/"});
}

TEST_F(WebHelpLinkTest, FileWithoutLinksLogsItsDiagnostics) {
  WriteLinks("; nothing\r\nabc=1\r\n");
  GetHelpLinkMgr();
  const std::string log = Log();
  const std::string file = tree / "DBSys/vlxlnks.vlx";
  // Lines processed, lines in the file, then the diagnostics: no links, the
  // file, whether it exists, its content and the (empty) list of links.
  EXPECT_NE(
      log.find("Proc_Name=Load\r\n2 2\r\n0 " + file + " Y \r\nFile:\r\n; nothing\r\nabc=1\r\n"),
      std::string::npos)
      << log;
  EXPECT_NE(log.find("abc=1\r\nList:\r\n"), std::string::npos);
}

TEST_F(WebHelpLinkTest, LinkLabelLooksLikeALink) {
  WriteLinks(kLinkFile);
  UseEnglish();
  QWidget form;
  form.resize(300, 120);
  std::unique_ptr<TWebHelpLinkGuiItem> item = CreateHelpLinkItem(&form);
  ASSERT_NE(item, nullptr);
  item->AttachToForm(&form);
  item->SetLinkId(77);
  TVlxHelpLbl* label = item->Label();
  EXPECT_EQ(label->Tag, 77);
  EXPECT_EQ(label->FVlxOwner, item.get());
  EXPECT_EQ(label->text().toStdString(), "Search");
  EXPECT_EQ(label->toolTip().toStdString(), "Search the site");
  EXPECT_EQ(label->palette().color(QPalette::WindowText), QColor(0, 91, 183));
  EXPECT_TRUE(label->font().underline());
  EXPECT_EQ(label->cursor().shape(), Qt::PointingHandCursor);
  EXPECT_FALSE(label->autoFillBackground());
  // Aligned to the right edge: the panel fills the form's height there.
  EXPECT_EQ(item->PanelWidth(), label->width() + 14);
  EXPECT_EQ(item->Panel()->geometry(), QRect(300 - item->PanelWidth(), 0, item->PanelWidth(), 120));
  EXPECT_EQ(label->x(), 7);
  EXPECT_EQ(label->y(), (120 - label->height()) / 2);
}

TEST_F(WebHelpLinkTest, DialogShowsTheLinkOnlyOnceTheManagerExistsAndInEnglish) {
  WriteLinks(kLinkFile);
  UseEnglish();
  struct Seen {
    bool link = false;
    QRect panel;
    QSize client;
    std::string caption;
  } seen;
  OnShow = [&seen](const ui::ModalRequest& request) {
    const auto* label = request.Dialog->findChild<TVlxHelpLbl*>();
    seen = Seen{};
    seen.link = label != nullptr;
    seen.client = request.Dialog->size();
    if (label) {
      seen.panel = label->parentWidget()->geometry();
      seen.caption = label->text().toStdString();
    }
    return 1;
  };

  ShowMsgWithHelp("Error: table locked", 77);
  EXPECT_FALSE(seen.link);  // no manager yet in the run
  EXPECT_FALSE(IsHelpLinkMgrLoaded());

  GetHelpLinkMgr();
  std::string long_text(200, 'x');
  for (int i = 0; i < 8; ++i) long_text += " many more words in the message";
  auto long_form = BuildMessageForm(long_text, TMsgDlgType::mtCustom, {TMsgDlgBtn::mbOK});
  ShowMsgWithHelp(long_text, 77);
  ASSERT_TRUE(seen.link);
  EXPECT_EQ(seen.client, long_form->size());  // a narrow link sits beside the buttons
  EXPECT_EQ(seen.caption, "Search");
  EXPECT_EQ(seen.panel.height(), 25);
  EXPECT_EQ(seen.panel.right() + 1, seen.client.width() - 3);  // bottom right corner
  EXPECT_EQ(seen.panel.bottom() + 1, seen.client.height() - 3);
  EXPECT_EQ(Shown.back().HelpLinkId, 77);

  // A link as wide as half the dialog gets a row of its own below the buttons.
  auto plain = BuildMessageForm("OK", TMsgDlgType::mtCustom, {TMsgDlgBtn::mbOK});
  const int plain_height = plain->height();
  ShowMsgWithHelp("OK", 83);
  ASSERT_TRUE(seen.link);
  ASSERT_GE(2 * seen.panel.width(), seen.client.width());
  EXPECT_EQ(seen.client.height(), plain_height + 25);

  // A narrow link beside a short message would cover the OK button: it gets
  // its own row as well.
  ShowMsgWithHelp("OK", 77);
  ASSERT_TRUE(seen.link);
  ASSERT_LT(2 * seen.panel.width(), seen.client.width());
  EXPECT_EQ(seen.client.height(), plain_height + 25);

  // An id without a link: the item is there with no caption, nothing shown.
  ShowMsgWithHelp("No such link", 5);
  EXPECT_EQ(Shown.size(), 5u);

  // In Hebrew never.
  UnloadResourceModule();
  ShowMsgWithHelp("Error: table locked", 77);
  EXPECT_FALSE(seen.link);
}

TEST_F(WebHelpLinkTest, ClickingTheLinkOpensItWithTheMessage) {
  WriteLinks(kLinkFile);
  UseEnglish();
  GetHelpLinkMgr();
  OnShow = [](const ui::ModalRequest& request) {
    auto* label = request.Dialog->findChild<TVlxHelpLbl*>();
    EXPECT_NE(label, nullptr);
    if (label) {
      QMouseEvent press(QEvent::MouseButtonPress, QPointF(2, 2), label->mapToGlobal(QPointF(2, 2)),
                        Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
      QMouseEvent release(QEvent::MouseButtonRelease, QPointF(2, 2),
                          label->mapToGlobal(QPointF(2, 2)), Qt::LeftButton, Qt::NoButton,
                          Qt::NoModifier);
      QApplication::sendEvent(label, &press);
      QApplication::sendEvent(label, &release);
    }
    return 1;
  };
  ShowMsgWithHelp("Error: Table Contacts.ADT (code 5)", 77);
  EXPECT_EQ(Opened, std::vector<std::string>{"http://help/?q=Table%20Contacts.ADT%20"});
}

}  // namespace
