#pragma once
// The texts the user reads besides the captions: status and usage lines,
// questions, messages, column headers, dialog titles and buttons, the export
// format names. Built in as Japanese; the [Text] section of the chosen
// language file replaces them. The log keeps its own texts whatever the language.
#include <initializer_list>
#include <map>
#include <string>

// The text under key in the chosen language (the built-in one when the
// language file lacks it). Any thread.
std::string UiText(const char* key);

// UiText with its %1%, %2%, ... filled from args. A translation whose
// placeholders do not match still gives a text, never an exception.
std::string UiFormat(const char* key, std::initializer_list<std::string> args);

// The language file's [Text] section replaces the built-in texts; in its
// values the two characters "\n" stand for a line break. Empty: the built-in ones.
void SetUiTexts(const std::map<std::string, std::string>& section);

// True when the chosen language file gives key a text of its own.
bool UiTextChosen(const char* key);

// Every key with its built-in text.
const std::map<std::string, std::string>& BuiltInUiTexts();
