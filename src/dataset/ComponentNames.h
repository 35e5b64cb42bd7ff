// Component names between Qt's object names (UTF-8) and the program's ANSI
// text.
#pragma once

#include <string>

class QObject;

std::string ComponentName(const QObject& component);
void SetComponentName(QObject& component, const std::string& name);
