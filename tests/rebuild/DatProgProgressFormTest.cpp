#include "rebuild/DatProgProgressForm.h"

#include <QFrame>
#include <QImage>
#include <QLabel>

#include <gtest/gtest.h>

#include "support/QtApp.h"

namespace {

class ProgressFormTest : public ::testing::Test {
 protected:
  std::string TableText() const { return form.TableNameLbl->text().toStdString(); }
  std::string IndexText() const { return form.Indexnamelbl->text().toStdString(); }
  int Position() const { return form.VlxProgressBar1->Position(); }

  QtAppGuard app_;
  TDatProgProgressFrm form;
};

TEST_F(ProgressFormTest, LayoutOfTheWindow) {
  EXPECT_EQ(form.windowTitle().toStdString(), "Index Building Status");
  EXPECT_EQ(form.size(), QSize(437, 106));
  EXPECT_EQ(form.VlxProgressBar1->geometry(), QRect(12, 72, 409, 19));
  EXPECT_EQ(form.TableNameLbl->pos(), QPoint(94, 13));
  EXPECT_EQ(form.Indexnamelbl->pos(), QPoint(94, 35));
  EXPECT_EQ(form.HebLabel1->text().toStdString(), "Table Name");
  EXPECT_EQ(form.HebLabel2->width(), 51);
  EXPECT_EQ(form.VlxProgressBar1->Max(), 100);
  EXPECT_EQ(Position(), 0);
  // No close, minimize or maximize buttons.
  EXPECT_FALSE(form.windowFlags() & Qt::WindowCloseButtonHint);
  EXPECT_FALSE(form.windowFlags() & Qt::WindowMinimizeButtonHint);
}

TEST_F(ProgressFormTest, PanelHasAnEtchedEdge) {
  // Outer bevel lowered, inner bevel raised, one pixel each.
  EXPECT_EQ(form.Panel2->geometry(), QRect(0, 0, 437, 106));
  EXPECT_EQ(form.Panel2->frameShape(), QFrame::Box);
  EXPECT_EQ(form.Panel2->frameShadow(), QFrame::Sunken);
  EXPECT_EQ(form.Panel2->frameWidth(), 2);
  // As drawn: on the top and left edges the outer line is the dark one and
  // the inner line the light one; on the bottom and right edges the other
  // way round.
  const QImage image = form.Panel2->grab().toImage();
  const auto lightness = [&](int x, int y) { return image.pixelColor(x, y).lightness(); };
  const int mid_x = image.width() / 2;
  const int mid_y = image.height() / 2;
  const int right = image.width() - 1;
  const int bottom = image.height() - 1;
  EXPECT_LT(lightness(mid_x, 0), lightness(mid_x, 1));                // top
  EXPECT_LT(lightness(0, mid_y), lightness(1, mid_y));                // left
  EXPECT_GT(lightness(mid_x, bottom), lightness(mid_x, bottom - 1));  // bottom
  EXPECT_GT(lightness(right, mid_y), lightness(right - 1, mid_y));    // right
}

TEST_F(ProgressFormTest, EmptyTextsShowTheWindowWithoutStepping) {
  form.ShowProgress("Contacts.ADT", "RECID");
  form.ShowProgress("", "");
  EXPECT_TRUE(form.isVisible());
  EXPECT_EQ(Position(), 1);
  EXPECT_EQ(TableText(), "");
  EXPECT_EQ(IndexText(), "");
}

TEST_F(ProgressFormTest, EachReportStepsAndShowsItsTexts) {
  form.ShowProgress("", "");
  form.ShowProgress("Contacts.ADT", "PRIMARY");
  EXPECT_EQ(Position(), 1);
  EXPECT_EQ(TableText(), "Contacts.ADT");
  EXPECT_EQ(IndexText(), "PRIMARY");
  form.ShowProgress("Contacts.ADT", "");  // a table alone also steps and clears the index
  EXPECT_EQ(Position(), 2);
  EXPECT_EQ(IndexText(), "");
}

TEST_F(ProgressFormTest, StepsBeyondTheMaximumLeaveTheBarFull) {
  form.SetProgressMax(2);
  for (int i = 0; i < 5; ++i) form.ShowProgress("T", "I");
  EXPECT_EQ(Position(), 2);
  EXPECT_EQ(form.VlxProgressBar1->value(), form.VlxProgressBar1->maximum());
}

TEST_F(ProgressFormTest, ChangingTheMaximumKeepsThePosition) {
  form.SetProgressMax(10);
  form.ShowProgress("T", "a");
  form.ShowProgress("T", "b");
  form.SetProgressMax(20);
  EXPECT_EQ(Position(), 2);
  form.AddProgressMax(5);
  EXPECT_EQ(form.VlxProgressBar1->Max(), 25);
  EXPECT_EQ(Position(), 2);
}

TEST_F(ProgressFormTest, ZeroMaximumIsAnEmptyBarNotABusyIndicator) {
  form.SetProgressMax(0);
  form.ShowProgress("T", "I");
  EXPECT_EQ(Position(), 0);
  EXPECT_GT(form.VlxProgressBar1->maximum(), form.VlxProgressBar1->minimum());
  EXPECT_EQ(form.VlxProgressBar1->value(), 0);
}

}  // namespace
