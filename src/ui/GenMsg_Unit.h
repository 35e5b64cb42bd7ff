// The program's messages to the operator: a dialog with the text, an OK
// button and the application's title, optionally offering a help link about
// the message.
#pragma once

#include <string>

// Shows `text` and waits until the operator closes it.
void ShowMsg(const std::string& text);

// The same, asking for the help link `link_id` to be offered with it.
void ShowMsgWithHelp(const std::string& text, int link_id);
