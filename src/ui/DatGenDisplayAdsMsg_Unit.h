// The notice shown when the database engine refuses to work under a
// remote-control session (engine error 5185): it names the product, tells
// that such use must be allowed, and offers a "Learn More" link to the
// support page of help link 900000016.
#pragma once

#include <QDialog>

class QLabel;
class QPushButton;

inline constexpr int kRemoteControlLinkId = 900000016;

class TFrmDatGenDisplayAdsMsg : public QDialog {
  Q_OBJECT

 public:
  explicit TFrmDatGenDisplayAdsMsg(QWidget* owner);

  QLabel* Label2 = nullptr;
  QLabel* LblMsg = nullptr;
  QLabel* Label3 = nullptr;
  QLabel* Label4 = nullptr;
  QLabel* LblUrl = nullptr;
  QPushButton* Button1 = nullptr;

  // The creation handler: the product name into the texts, the last
  // sentence emptied when the program runs in Hebrew.
  void FormCreate();

  // "Learn More": opens the page of help link 900000016.
  void LblUrlClick();

  // Escape closes the notice as "Close" does.
  void reject() override;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
};

// Makes the notice, shows it modally over the application and frees it.
void ShowRemoteControlNotice();
