#include "ui/DatGenWebHelpLinkMgr_Unit.h"

#include <QDesktopServices>
#include <QFrame>
#include <QMouseEvent>
#include <QUrl>

#include "common/AnsiCodePage.h"
#include "common/DatGenFilesFunctions.h"
#include "common/DatGenInstallation_Unit.h"
#include "common/DatGenResources.h"
#include "common/DatGenStringsFunctions.h"
#include "common/Exceptions.h"
#include "diag/DatHE_Unit.h"
#include "platform/Platform.h"
#include "ui/GenMsg_Unit.h"

namespace {

constexpr const char* kLinkFileName = "vlxlnks.vlx";
constexpr const char* kContextToken = "*VlxToken*";

std::unique_ptr<TWebHelpLinkMgr>& HelpLinkMgr() {
  static std::unique_ptr<TWebHelpLinkMgr> mgr;
  return mgr;
}

TShellOpenHandler& ShellOpenHandler() {
  static TShellOpenHandler handler;
  return handler;
}

QString FromAnsi(const std::string& text) {
  return QString::fromStdString(AnsiToUtf8(text));
}

}  // namespace

// ---------------------------------------------------------------- the link label

TVlxHelpLbl::TVlxHelpLbl(QWidget* parent) : QLabel(parent) {
  setObjectName("VlxHelpLbl");
  setTextFormat(Qt::PlainText);
  QPalette palette = this->palette();
  palette.setColor(QPalette::WindowText, QColor(0, 91, 183));
  setPalette(palette);
  QFont underlined = font();
  underlined.setUnderline(true);
  setFont(underlined);
  setCursor(Qt::PointingHandCursor);
  setAutoFillBackground(false);  // transparent
}

void TVlxHelpLbl::SetCaption(const std::string& caption) {
  setText(FromAnsi(caption));
  adjustSize();
}

void TVlxHelpLbl::mouseReleaseEvent(QMouseEvent* event) {
  QLabel::mouseReleaseEvent(event);
  if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()) && OnClick)
    OnClick(*this);
}

// ---------------------------------------------------------------- the item on a form

TWebHelpLinkGuiItem::TWebHelpLinkGuiItem(QWidget* form, int link_id, TLabelTextEvent label_text,
                                         TClickEvent click)
    : form_(form), label_text_(std::move(label_text)) {
  panel_ = new QFrame(form);
  panel_->setObjectName("VlxHelpPnl");
  panel_->setFrameShape(QFrame::NoFrame);
  panel_->setAutoFillBackground(false);  // the parent's colour
  label_ = new TVlxHelpLbl(panel_);
  label_->FVlxOwner = this;
  label_->OnClick = std::move(click);
  align_ = TAlign::alRight;
  FollowParentHeight();
  panel_->setVisible(true);
  label_->setVisible(true);
  SetLinkId(link_id);
}

TWebHelpLinkGuiItem::~TWebHelpLinkGuiItem() {
  delete label_.data();
  delete panel_.data();
}

void TWebHelpLinkGuiItem::FollowParentHeight() {
  QWidget* parent = panel_ ? panel_->parentWidget() : nullptr;
  if (align_ != TAlign::alRight || !parent) return;
  panel_->setGeometry(parent->width() - panel_->width(), 0, panel_->width(), parent->height());
}

void TWebHelpLinkGuiItem::AttachToForm(QWidget* form) {
  form_ = form;
  if (!panel_) return;
  panel_->setParent(form);
  panel_->setVisible(true);
  FollowParentHeight();
  LayoutLinkItem();
}

void TWebHelpLinkGuiItem::SetLinkId(int link_id) {
  if (!label_ || link_id == label_->Tag) return;
  label_->Tag = link_id;
  if (label_text_) label_text_(*label_);
  LayoutLinkItem();
}

void TWebHelpLinkGuiItem::SetPanelAlign(TAlign align) {
  align_ = align;
  FollowParentHeight();
  LayoutLinkItem();
}

void TWebHelpLinkGuiItem::LayoutLinkItem() {
  if (!panel_ || !label_) return;
  label_->move(label_->x(), (panel_->height() - label_->height()) / 2);
  const int right = panel_->x() + panel_->width();
  panel_->resize(label_->width() + 14, panel_->height());
  // A panel aligned to the right edge keeps its right edge there.
  if (align_ == TAlign::alRight) panel_->move(right - panel_->width(), panel_->y());
  label_->move((panel_->width() - label_->width()) / 2, label_->y());
}

void TWebHelpLinkGuiItem::SetPanelHeight(int height) {
  LastHeight = height;
  if (!panel_ || !label_) return;
  panel_->resize(panel_->width(), height);
  label_->move(label_->x(), (panel_->height() - label_->height()) / 2);
}

void TWebHelpLinkGuiItem::SetPanelTop(int top) {
  LastTop = top;
  if (panel_) panel_->move(panel_->x(), top);
}

void TWebHelpLinkGuiItem::SetPanelLeft(int left) {
  LastLeft = left;
  if (panel_) panel_->move(left, panel_->y());
}

int TWebHelpLinkGuiItem::PanelWidth() const {
  return panel_ ? panel_->width() : 0;
}
int TWebHelpLinkGuiItem::PanelHeight() const {
  return panel_ ? panel_->height() : 0;
}
bool TWebHelpLinkGuiItem::PanelHasParent() const {
  return panel_ && panel_->parentWidget() != nullptr;
}

// ---------------------------------------------------------------- the manager

TWebHelpLinkMgr::TWebHelpLinkMgr() {
  setObjectName("WebHelpLinkMgr");
  extractor_.SetDelimiters("\"", ",");
  extractor_.SetFieldCallback([this](TFieldsExtractor&, int field_number, const std::string& text) {
    OnField(field_number, text);
  });
  LoadLinks();
}

void TWebHelpLinkMgr::OnField(int field_number, const std::string& text) {
  if (links_.empty()) return;
  TWebHelpLinkItem& item = links_.back().second;
  switch (field_number) {
    case 1:
      item.Url = text;
      break;
    case 2:
      item.Caption = text;
      break;
    case 3:
      item.Hint = text;
      break;
    case 4:
      item.Field4 = text;
      break;
    case 5:
      item.Params = text;
      break;
    default:
      break;  // fields beyond the fifth mean nothing
  }
}

void TWebHelpLinkMgr::LoadLinks() {
  links_.clear();
  options_.Clear();
  file_name_ = IncludeBackslash(GetDBSysPath()) + kLinkFileName;
  try {
    if (!platform::FileExists(file_name_))
      throw Exception("Cannot open file \"" + file_name_ + "\"");
    const std::vector<std::string> lines = SplitLines(ReadTextFileToString(file_name_));
    int processed = 0;
    for (const std::string& raw : lines) {
      ++processed;
      const std::string line = Trim(raw);
      const size_t equals = line.find('=');
      const std::string name = equals == std::string::npos ? line : line.substr(0, equals);
      const int link_id = StrToIntDef(name, 0);
      if (link_id != 0) {
        std::string fields = line.substr(equals + 1);
        if (fields.empty() || fields.back() != ',') fields += ',';
        TWebHelpLinkItem item;
        item.LinkId = link_id;
        links_.emplace_back(name, item);
        extractor_.ExtractFieldsFromRec(fields);
      } else if (!line.empty() && line[0] != ';' && line[0] != '[') {
        options_.Add(line);
      }
    }
    if (links_.empty()) {
      WriteLog("Load", IntToStr(processed) + " " + IntToStr(static_cast<long long>(lines.size())) +
                           DiagnosticText());
    }
  } catch (const std::exception& e) {
    // The manager keeps what was read; the file is not read again this run.
    WriteLog(this, ".Load", "", &e);
  }
}

std::string TWebHelpLinkMgr::DiagnosticText() const {
  std::string text = "\r\n" + IntToStr(static_cast<long long>(links_.size())) + " " + file_name_ +
                     " " + BoolToYN(platform::FileExists(file_name_)) + " " + "\r\n" +
                     "File:" + "\r\n" + ReadTextFileToString(file_name_) + "\r\n" +
                     "List:" + "\r\n";
  for (const auto& link : links_) text += link.first + "\r\n";
  return text + "\r\n";
}

bool TWebHelpLinkMgr::GetLinkItemDtlById(int link_id, bool show_errors,
                                         const TWebHelpLinkItem*& item) {
  item = nullptr;
  std::string reason;
  if (!links_.empty()) {
    const std::string name = IntToStr(link_id);
    for (const auto& link : links_) {
      if (link.first == name) {
        item = &link.second;
        return true;
      }
    }
    if (show_errors) {
      reason = "Link not found";
      ShowMsg(reason);
    }
  } else if (show_errors) {
    reason = "File not found";
    ShowMsg(reason);
  }
  WriteLog("GetLinkItemDtlById",
           IntToStr(link_id) + " " + reason + " " + BoolToYN(show_errors) + " " + DiagnosticText());
  return false;
}

bool TWebHelpLinkMgr::GetLinkUrl(int link_id, bool show_errors, std::string& url) {
  const TWebHelpLinkItem* item = nullptr;
  const bool found = GetLinkItemDtlById(link_id, show_errors, item);
  url = found ? item->Url : "";
  return found;
}

bool TWebHelpLinkMgr::GetLinkParams(int link_id, std::string& params) {
  const TWebHelpLinkItem* item = nullptr;
  const bool found = GetLinkItemDtlById(link_id, false, item);
  params = found ? item->Params : "";
  return found;
}

void TWebHelpLinkMgr::OpenLink(int link_id, const std::string& fallback,
                               TWebHelpLinkGuiItem* item) {
  std::string url;
  if (!GetLinkUrl(link_id, fallback.empty(), url) && !fallback.empty()) url = fallback;
  ApplyLinkContext(link_id, item, url);
  if (!url.empty()) ShellOpen(url);
}

void TWebHelpLinkMgr::ApplyLinkContext(int link_id, TWebHelpLinkGuiItem* item, std::string& url) {
  if (!item) return;
  std::string params;
  if (!GetLinkParams(link_id, params) || params.empty()) return;

  std::string context = item->ContextText;
  params_.Clear();
  std::string rest = params;
  while (true) {
    const size_t separator = rest.find(';');
    params_.Add(rest.substr(0, separator));
    if (separator == std::string::npos) break;
    rest.erase(0, separator + 1);
  }

  const int from = options_.IndexOfName("From-" + IntToStr(link_id));
  if (from >= 0) {
    const std::string marker = options_.ValueFromIndex(from);
    const size_t at = AnsiUpperCase(context).find(AnsiUpperCase(marker));
    if (at != std::string::npos) {
      // The character right after the marker goes too (a blank, as a rule).
      const size_t start = at + marker.size() + 1;
      context = Trim(start < context.size() ? context.substr(start) : "");
    }
  }
  const int remove = options_.IndexOfName("Remove-" + IntToStr(link_id));
  if (remove >= 0) {
    const std::string unwanted = options_.ValueFromIndex(remove);
    if (AnsiUpperCase(context).find(AnsiUpperCase(unwanted)) != std::string::npos) {
      context = ReplaceAllCase(context, unwanted, "");
    }
  }
  for (const std::string& param : params_) {
    if (param == "1") url = ReplaceAllCase(url, kContextToken, EncodeUrl(context));
  }
}

void TWebHelpLinkMgr::SetLabelFromLink(TVlxHelpLbl& label) {
  const TWebHelpLinkItem* item = nullptr;
  if (!GetLinkItemDtlById(label.Tag, false, item)) return;
  label.SetCaption(item->Caption);
  label.setToolTip(FromAnsi(item->Hint));
}

void TWebHelpLinkMgr::LabelClick(TVlxHelpLbl& label) {
  OpenLink(label.Tag, "", label.FVlxOwner);
}

// ---------------------------------------------------------------- process-wide entry points

TWebHelpLinkMgr& GetHelpLinkMgr() {
  if (!HelpLinkMgr()) HelpLinkMgr() = std::make_unique<TWebHelpLinkMgr>();
  return *HelpLinkMgr();
}

bool IsHelpLinkMgrLoaded() {
  return HelpLinkMgr() != nullptr;
}

void FreeHelpLinkMgr() {
  HelpLinkMgr().reset();
}

void OpenLinkById(int link_id, const std::string& fallback) {
  GetHelpLinkMgr().OpenLink(link_id, fallback, nullptr);
}

std::unique_ptr<TWebHelpLinkGuiItem> CreateHelpLinkItem(QWidget* form) {
  try {
    if (GetLanguageCode() != kLanguageCodeEnglish) return nullptr;
    TWebHelpLinkMgr& mgr = GetHelpLinkMgr();
    return std::make_unique<TWebHelpLinkGuiItem>(
        form, 0, [&mgr](TVlxHelpLbl& label) { mgr.SetLabelFromLink(label); },
        [&mgr](TVlxHelpLbl& label) { mgr.LabelClick(label); });
  } catch (const std::exception& e) {
    WriteLog(nullptr, ".InitGuiCtrl", "", &e);
    return nullptr;
  }
}

void SetShellOpenHandler(TShellOpenHandler handler) {
  ShellOpenHandler() = std::move(handler);
}

void ShellOpen(const std::string& url) {
  if (ShellOpenHandler()) {
    ShellOpenHandler()(url);
    return;
  }
  // The outcome is not reported: a page that does not open leaves nothing to do.
  QDesktopServices::openUrl(QUrl(FromAnsi(url), QUrl::TolerantMode));
}
