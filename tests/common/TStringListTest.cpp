#include "common/TStringList.h"

#include <gtest/gtest.h>

namespace {

TEST(TStringList, NameValueLinesSplitAtFirstEquals) {
  TStringList list;
  list.Add("PRIMARY=RECID*PRIMARY;UNIQUE");
  list.Add("Expr=a=b");
  list.Add("NoEquals");
  EXPECT_EQ(list.Names(0), "PRIMARY");
  EXPECT_EQ(list.ValueFromIndex(0), "RECID*PRIMARY;UNIQUE");
  EXPECT_EQ(list.ValueFromIndex(1), "a=b");
  EXPECT_EQ(list.Names(2), "NoEquals");
  EXPECT_EQ(list.ValueFromIndex(2), "");
}

TEST(TStringList, KeepsDuplicatesAndLooksUpTheFirstIgnoringCase) {
  TStringList list;
  list.Add("Contacts.ADT=Y");
  list.Add("contacts.adt=N");
  EXPECT_EQ(list.Count(), 2);
  EXPECT_EQ(list.IndexOfName("CONTACTS.ADT"), 0);
  EXPECT_EQ(list.Values("Contacts.adt"), "Y");
  EXPECT_EQ(list.IndexOf("CONTACTS.ADT=n"), 1);
  EXPECT_EQ(list.IndexOfName("Missing"), -1);
  EXPECT_EQ(list.Values("Missing"), "");
}

TEST(TStringList, ALineWithoutEqualsIsNoName) {
  TStringList list;
  list.SetText("Port\r\nHost\r\nPort=6262\r\nport2=1");
  EXPECT_EQ(list.IndexOfName("Port"), 2);
  EXPECT_EQ(list.Values("Port"), "6262");
  EXPECT_EQ(list.IndexOfName("Host"), -1);
  EXPECT_EQ(list.Values("Host"), "");
  list.SetValue("Host", "srv");  // appended, the bare line stays
  EXPECT_EQ(list.Text(), "Port\r\nHost\r\nPort=6262\r\nport2=1\r\nHost=srv\r\n");
}

TEST(TStringList, SetValueUpdatesAddsAndRemoves) {
  TStringList list;
  list.SetValue("A", "1");
  list.SetValue("a", "2");
  EXPECT_EQ(list.Text(), "a=2\r\n");
  list.SetValue("B", "3");
  list.SetValue("A", "");
  EXPECT_EQ(list.Text(), "B=3\r\n");
}

TEST(TStringList, TextRoundTrip) {
  TStringList list;
  list.SetText("x=1\ny=2\r\nz");
  EXPECT_EQ(list.Count(), 3);
  EXPECT_EQ(list.Text(), "x=1\r\ny=2\r\nz\r\n");
}

}  // namespace
