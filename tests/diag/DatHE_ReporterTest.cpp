// Whole log entries written by the exception reporter, compared line by
// line: the sender block, the exception block with the engine's details and
// the statement of the failed query, the screen line, and the call-stack
// entry of an error handler.
#include <QApplication>
#include <QFrame>
#include <QPushButton>
#include <QWidget>
#include <algorithm>
#include <fstream>
#include <functional>
#include <memory>
#include <thread>

#include "LogFixture.h"
#include "common/Exceptions.h"
#include "dataset/AdsQuery.h"
#include "dataset/EADSDatabaseError.h"
#include "diag/DatHECallStack_Unit.h"

namespace {

using Lines = std::vector<std::string>;

class TTestForm : public QWidget {
  Q_OBJECT
  Q_CLASSINFO("Unit", "TestForms_Unit")

 public:
  explicit TTestForm(const std::string& name, const std::string& caption = "") {
    setObjectName(QString::fromStdString(name));
    setWindowTitle(QString::fromStdString(caption));
  }
};

// A data module with one query, registered while it lives.
class TTestDataModule : public QObject {
  Q_OBJECT
  Q_CLASSINFO("Unit", "TestDM_Unit")

 public:
  explicit TTestDataModule(const std::string& sql) {
    setObjectName("TestDM");
    Query1 = new TAdsQuery(this);
    Query1->setObjectName("Query1");
    Query1->SetSQL(sql);
    RegisterDataModule(this);
  }
  ~TTestDataModule() override { UnregisterDataModule(this); }

  TAdsQuery* Query1;
};

EADSDatabaseError EngineError(const std::string& component) {
  return EADSDatabaseError(7200, "Error 7200:  AQE Error", {"Customers", "", component, "TestDM"});
}

// The line of this file that holds `marker`, counted from 1.
int LineOf(const std::string& marker) {
  std::ifstream source(RI_TEST_SOURCE_DIR "/DatHE_ReporterTest.cpp");
  std::string line;
  for (int number = 1; std::getline(source, line); ++number) {
    if (line.find(marker) != std::string::npos && line.find("LineOf") == std::string::npos)
      return number;
  }
  return 0;
}

[[noreturn]] void ThrowNumber() {
  throw 42;  // thrown: a number
}

class ReporterTest : public LogTest {
 protected:
  ReporterTest() { WriteLog("", ""); }  // past the environment block

  // The lines of the entry `write` adds.
  template <typename Write>
  Lines EntryOf(Write write) {
    const size_t before = LogLines().size();
    write();
    return LinesAfter(before);
  }

  Lines Entry(const Lines& body) { return Concat({"", Header()}, body); }

  // The toolkit lists its top-level widgets in no fixed order: the form
  // lines of a screen dump (after "--") must be numbered 0, 1, ... and are
  // then compared without their numbers, sorted.
  static Lines FormsSorted(Lines entry) {
    const auto dashes = std::find(entry.begin(), entry.end(), "--");
    if (dashes == entry.end()) return entry;
    int number = 0;
    for (auto line = dashes + 1; line + 1 < entry.end(); ++line, ++number) {
      const std::string prefix = std::to_string(number) + ".";
      EXPECT_EQ(line->rfind(prefix, 0), 0u) << *line;
      *line = line->substr(prefix.size());
    }
    std::sort(dashes + 1, entry.end() - 1);
    return entry;
  }
};

TEST_F(ReporterTest, EntriesOfSendersExceptionsAndScreens) {
  TTestDataModule data_module("SELECT * FROM Customers\r\nWHERE Id = 1");
  TTestForm form("TestForm", "Customers ");
  auto* panel = new QFrame(&form);  // no name
  auto* button = new QPushButton(panel);
  button->setObjectName("Button1");
  TTestForm unnamed_form("");
  auto* unnamed_panel = new QFrame(&unnamed_form);
  auto* lone_button = new QPushButton(unnamed_panel);
  lone_button->setObjectName("Button2");

  const Lines screen = {"Forms_E=FormCount:2 ", "--", "0.TTestForm TestForm 0 Customers ",
                        "1.TTestForm  0 ", ""};
  struct Case {
    std::string what;
    std::function<void()> write;
    Lines expected;
    bool prefix = false;  // the entry goes on after the expected lines (a stack)
  };
  const std::vector<Case> cases = {
      {"a sender that is no component",
       [] {
         TDatHERecType rec;
         rec.Time = Now();
         rec.ProcName = "P";
         rec.SenderClass = "TStringList";
         GetHandleExceptions()->WriteEntry(rec);
       },
       {"Sender_Class=TStringList", "Proc_Name=P"}},
      {"a control inside an unnamed panel of a named form",
       [&] { WriteLog(button, "P", "", nullptr); },
       {"Sender_Class=QPushButton", "Sender_Name=Button1",
        "Sender_Info= Form - TestForms_Unit.TestForm->TTestForm",
        "Sender_Parent= TestForm TTestForm", "Proc_Name=P"}},
      {"a control whose parents all have no name",
       [&] { WriteLog(lone_button, "P", "", nullptr); },
       {"Sender_Class=QPushButton", "Sender_Name=Button2",
        "Sender_Info= Form - TestForms_Unit.->TTestForm", "Sender_Parent=", "Proc_Name=P"}},
      {"a form, which records its unit",
       [&] { WriteLog(&form, "P", "", nullptr); },
       {"Sender_Class=TTestForm", "Sender_Name=TestForm",
        "Sender_Info= Unit - TestForms_Unit. Form - TestForms_Unit.TestForm->TTestForm",
        "Sender_Parent=", "Proc_Name=P"}},
      {"an engine error of a query of a data module",
       [&] {
         const EADSDatabaseError error = EngineError("Query1");
         WriteLog(nullptr, "P", "", &error);
       },
       Concat({"Exception_Class=EADSDatabaseError 0", "Exception_Msg=Error 7200:  AQE Error",
               "EADSDatabaseError = 7200 0 Customers  Query1 TestDM",
               "SQLText:", "SELECT * FROM Customers", "WHERE Id = 1", " ", "Proc_Name=P"},
              screen)},
      {"the same error on a statement that mentions sysPM",
       [&] {
         data_module.Query1->SetSQL("DELETE FROM sysPMUsers");
         const EADSDatabaseError error = EngineError("Query1");
         WriteLog(nullptr, "P", "", &error);
       },
       Concat({"Exception_Class=EADSDatabaseError 0", "Exception_Msg=Error 7200:  AQE Error",
               "EADSDatabaseError = 7200 0 Customers  Query1 TestDM", " ", "Proc_Name=P"},
              screen)},
      {"an engine error without a component name",
       [&] {
         data_module.Query1->SetSQL("SELECT 1");
         const EADSDatabaseError error = EngineError("");
         WriteLog(nullptr, "P", "T", &error);
       },
       Concat({"Exception_Class=EADSDatabaseError 0", "Exception_Msg=Error 7200:  AQE Error",
               "EADSDatabaseError = 7200 0 Customers   TestDM", " ", "Proc_Name=P", "T"},
              screen)},
      {"a system error",
       [] {
         const EOleSysError error("Class not registered", -2147221164);
         WriteLog(nullptr, "P", "", &error);
       },
       Concat({"Exception_Class=EOleSysError 0", "Exception_Msg=Class not registered",
               "EOleSysError = -2147221164 ", "Proc_Name=P"},
              screen)},
      {"the stack of an error handler when no exception is known",
       [] { std::thread([] { WriteLastExceptionStack2Log("BuildIndexes-1.1"); }).join(); },
       {"Proc_Name=BuildIndexes-1.1"}},
      {"the stack of a thrown object that is no exception",
       [] {
         try {
           ThrowNumber();
         } catch (...) {
           WriteLastExceptionStack2Log("Stk");
         }
       },
       {"Sender_Class=int", "Proc_Name=Stk", "",
        "DatHE_ReporterTest.cpp - " + std::to_string(LineOf("thrown: a number")),
        "DatHE_ReporterTest.cpp - " + std::to_string(LineOf("ThrowNumber();"))},
       true},
  };
  for (const Case& c : cases) {
    platform::SetLastError(0);
    const Lines entry = EntryOf(c.write);
    const Lines expected = Entry(c.expected);
    // The stack of a throw goes on through the callers' frames.
    const Lines head =
        c.prefix && entry.size() > expected.size()
            ? Lines(entry.begin(), entry.begin() + static_cast<long>(expected.size()))
            : entry;
    EXPECT_EQ(FormsSorted(head), FormsSorted(expected)) << c.what;
  }
}

TEST_F(ReporterTest, MoreThanAHundredFormsListsTheFirstHundredAndCountsAll) {
  std::vector<std::unique_ptr<TTestForm>> forms;
  for (int i = 0; i < 101; ++i)
    forms.push_back(std::make_unique<TTestForm>("F" + std::to_string(i), "C"));
  forms[3]->show();
  const EOleSysError error("x", 1);
  const Lines entry = EntryOf([&] { WriteLog(nullptr, "P", "", &error); });
  Lines expected = Entry(
      {"Exception_Class=EOleSysError 0", "Exception_Msg=x", "EOleSysError = 1 ", "Proc_Name=P"});
  // The active form and control depend on the window system; the count
  // and the list do not.
  ASSERT_GT(entry.size(), expected.size());
  EXPECT_EQ(Lines(entry.begin(), entry.begin() + static_cast<long>(expected.size())), expected);
  const Lines dump =
      FormsSorted(Lines(entry.begin() + static_cast<long>(expected.size()), entry.end()));
  ASSERT_EQ(dump.size(), 103u);  // the head line, "--", 100 forms, the empty line
  EXPECT_EQ(dump[0].rfind("Forms_E=FormCount:101 ", 0), 0u) << dump[0];
  EXPECT_EQ(dump[1], "--");
  EXPECT_EQ(dump[102], "");
  int visible = 0;
  for (size_t i = 2; i < 102; ++i) {
    EXPECT_EQ(dump[i].rfind("TTestForm F", 0), 0u) << dump[i];
    if (dump[i] == "TTestForm F3 1 C") ++visible;
  }
  // The visible form is listed unless it is the one left out.
  EXPECT_LE(visible, 1);
}

TEST_F(ReporterTest, ActiveFormAndControlHeadTheScreenDump) {
  TTestForm form("TestForm", "Rebuild Indexes ");
  auto* button = new QPushButton("Start", &form);
  button->setObjectName("Button1");
  form.show();
  QApplication::setActiveWindow(&form);
  button->setFocus();
  QApplication::processEvents();
  if (QApplication::activeWindow() != &form || QApplication::focusWidget() != button) {
    GTEST_SKIP() << "this platform plugin does not activate windows";
  }
  EXPECT_EQ(GetScreenInfo(),
            "FormCount:1 ActiveForm:TTestForm TestForm ActiveControl:QPushButton Button1  TestForm "
            "TTestForm\r\n"
            "--\r\n0.TTestForm TestForm 1 Rebuild Indexes \r\n");
}

TEST_F(ReporterTest, ApplicationHandlerWritesAFullEntryAndRaisesNothing) {
  TTestForm form("TestForm");
  const Exception error("Invalid argument");
  const Lines entry = EntryOf([&] { HandleAppException(&form, &error); });
  EXPECT_EQ(
      entry,
      Entry({"Sender_Class=TTestForm", "Sender_Name=TestForm",
             "Sender_Info= Unit - TestForms_Unit. Form - TestForms_Unit.TestForm->TTestForm",
             "Sender_Parent=", "Exception_Class=Exception 0", "Exception_Msg=Invalid argument",
             "Forms_E=FormCount:1 ", "--", "0.TTestForm TestForm 0 ", ""}));
}

TEST(ReporterHelpers, SqlWithSysPmIsNeverLogged) {
  EXPECT_FALSE(IsSqlLoggable("select * from SYSPM_users"));
  EXPECT_FALSE(IsSqlLoggable("x sYsPm"));
  EXPECT_TRUE(IsSqlLoggable("select * from SysP_M"));
  EXPECT_TRUE(IsSqlLoggable(""));
}

TEST(ReporterHelpers, OnlyTheEngineError5041NeedsNoMessage) {
  EXPECT_FALSE(NeedsExceptionMessage(EADSDatabaseError(5041, "m", {})));
  EXPECT_TRUE(NeedsExceptionMessage(EADSDatabaseError(5040, "m", {})));
  EXPECT_TRUE(NeedsExceptionMessage(Exception("5041")));
}

TEST(ReporterHelpers, CallStackTextSkipsFramesWithoutSource) {
  EXPECT_EQ(CallStackToText(nullptr), "");
  // An address in no module resolves to nothing and gives no line.
  const uintptr_t nowhere[] = {16};
  const crashreport::TCallStack unknown(nowhere, 1);
  EXPECT_EQ(CallStackToText(&unknown), "");
}

}  // namespace

#include "DatHE_ReporterTest.moc"
