#include "dataset/ComponentNames.h"

#include <QObject>
#include <QString>

#include "common/AnsiCodePage.h"

std::string ComponentName(const QObject& component) {
  return Utf8ToAnsi(component.objectName().toStdString());
}

void SetComponentName(QObject& component, const std::string& name) {
  component.setObjectName(QString::fromStdString(AnsiToUtf8(name)));
}
