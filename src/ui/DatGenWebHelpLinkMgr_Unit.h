// Help links to pages of the product's support web site.
//
// Which page belongs to which message comes from the installation's help
// link file, "vlxlnks.vlx" in DBSys, read once per run by the process-wide
// TWebHelpLinkMgr when it is first asked for. Each line, blanks trimmed, is
// one of:
//   link     <id>=<fields>  where <id> is a whole number other than 0; the
//            fields are quoted and comma-separated (TFieldsExtractor):
//            "address","caption","hint","(unused)","parameters"
//   comment  empty, or beginning with ";" or "["
//   option   anything else, kept as a name=value line; "From-<id>" and
//            "Remove-<id>" trim the context text put into a link's address
// Links are stored under their id as written and found by the id's decimal
// text, so "0012=..." is never found as 12; the first of two equal ids wins.
//
// An address may carry "*VlxToken*"; for a link whose parameters include
// "1" it is replaced by the escaped context text (the message the link is
// shown with). Pages open through the shell-open seam.
#pragma once

#include <QLabel>
#include <QPointer>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "common/DatGenFieldsExtractor.h"
#include "common/TStringList.h"

class QFrame;
class TWebHelpLinkGuiItem;

// One link of the file.
struct TWebHelpLinkItem {
  int LinkId = 0;
  std::string Url;      // field 1
  std::string Caption;  // field 2
  std::string Hint;     // field 3
  std::string Field4;   // field 4, kept and unused
  std::string Params;   // field 5: parameters separated by ";"
};

// The link label: its tag is its link id, its click opens that link.
class TVlxHelpLbl : public QLabel {
  Q_OBJECT

 public:
  explicit TVlxHelpLbl(QWidget* parent = nullptr);

  TWebHelpLinkGuiItem* FVlxOwner = nullptr;
  int Tag = 0;
  std::function<void(TVlxHelpLbl&)> OnClick;

  // Sets the caption and resizes the label to it, as an auto-sized label.
  void SetCaption(const std::string& caption);

 protected:
  void mouseReleaseEvent(QMouseEvent* event) override;
};

// Panel alignments the item uses.
enum class TAlign { alNone, alRight };

// A help link shown on a form: a panel that carries the link label.
class TWebHelpLinkGuiItem {
 public:
  using TLabelTextEvent = std::function<void(TVlxHelpLbl&)>;
  using TClickEvent = std::function<void(TVlxHelpLbl&)>;

  TWebHelpLinkGuiItem(QWidget* form, int link_id, TLabelTextEvent label_text, TClickEvent click);
  ~TWebHelpLinkGuiItem();
  TWebHelpLinkGuiItem(const TWebHelpLinkGuiItem&) = delete;
  TWebHelpLinkGuiItem& operator=(const TWebHelpLinkGuiItem&) = delete;

  void AttachToForm(QWidget* form);
  void SetLinkId(int link_id);
  void SetPanelAlign(TAlign align);
  void SetPanelTop(int top);
  void SetPanelLeft(int left);
  void SetPanelHeight(int height);
  void LayoutLinkItem();

  int PanelWidth() const;
  int PanelHeight() const;
  bool PanelHasParent() const;

  QFrame* Panel() const { return panel_; }
  TVlxHelpLbl* Label() const { return label_; }

  // The text the link's address may receive (the message shown with it).
  std::string ContextText;

  int LastTop = 0;
  int LastLeft = 0;
  int LastHeight = 0;

 private:
  void FollowParentHeight();

  QWidget* form_ = nullptr;
  QPointer<QFrame> panel_;
  QPointer<TVlxHelpLbl> label_;
  TAlign align_ = TAlign::alRight;
  TLabelTextEvent label_text_;
};

// A QObject so that its log entries name it as their sender.
class TWebHelpLinkMgr : public QObject {
  Q_OBJECT

 public:
  TWebHelpLinkMgr();
  TWebHelpLinkMgr(const TWebHelpLinkMgr&) = delete;
  TWebHelpLinkMgr& operator=(const TWebHelpLinkMgr&) = delete;

  // Reads the help link file; called once, at creation.
  void LoadLinks();

  // The first link stored under the decimal text of `link_id`. When it is
  // missing and `show_errors`, "Link not found" (or "File not found" when no
  // link was read at all) is shown.
  bool GetLinkItemDtlById(int link_id, bool show_errors, const TWebHelpLinkItem*& item);
  bool GetLinkUrl(int link_id, bool show_errors, std::string& url);
  bool GetLinkParams(int link_id, std::string& params);

  // Opens the page of `link_id` (or `fallback` when the link is missing),
  // with the context of `item` put into its address.
  void OpenLink(int link_id, const std::string& fallback, TWebHelpLinkGuiItem* item);

  // Puts the context text of `item` into `url` when the link asks for it.
  void ApplyLinkContext(int link_id, TWebHelpLinkGuiItem* item, std::string& url);

  // Caption and hint of the link whose id is the label's tag.
  void SetLabelFromLink(TVlxHelpLbl& label);

  // The click of a link label: opens its link with its item's context.
  void LabelClick(TVlxHelpLbl& label);

  // The diagnostic text the log entries carry.
  std::string DiagnosticText() const;

  const std::vector<std::pair<std::string, TWebHelpLinkItem>>& Links() const { return links_; }
  const TStringList& Options() const { return options_; }

 private:
  void OnField(int field_number, const std::string& text);

  std::vector<std::pair<std::string, TWebHelpLinkItem>> links_;
  TStringList options_;
  TStringList params_;
  TFieldsExtractor extractor_;
  std::string file_name_;
};

// The manager, created (and its file loaded) on first use.
TWebHelpLinkMgr& GetHelpLinkMgr();

// Whether the manager exists already; does not create it.
bool IsHelpLinkMgrLoaded();

// Releases the manager (program end; tests start afresh with it).
void FreeHelpLinkMgr();

// GetHelpLinkMgr().OpenLink(link_id, fallback, no item).
void OpenLinkById(int link_id, const std::string& fallback);

// A help link item on `form`, or none unless the language code is "LNGENG".
// A failure is logged (".InitGuiCtrl") and gives none.
std::unique_ptr<TWebHelpLinkGuiItem> CreateHelpLinkItem(QWidget* form);

// Opens a web address in the system's browser. The real handler asks the
// desktop services; tests install one that records the addresses.
using TShellOpenHandler = std::function<void(const std::string& url)>;
void SetShellOpenHandler(TShellOpenHandler handler);  // empty: the real one
void ShellOpen(const std::string& url);
