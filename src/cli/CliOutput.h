#pragma once
// The printed forms of a listing. Both are a contract that scripts depend on.
#include <QJsonObject>
#include <QString>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "control/ListRow.h"

// One row per line, the four columns separated by tabs, then "usage<TAB>KB"
// when a usage is given. Columns are escaped (EscapeColumn) so that a tab or a
// line break in a file name cannot split a row.
std::string FormatPlain(const std::vector<ListRow>& rows, std::optional<int64_t> usageKB);

// {"rows": [{"title", "name", "size", "type", "dir"}, ...], "usage_kb": KB}, one
// line; "usage_kb" only when a usage is given. Texts exactly as the list shows
// them; "dir" the whole name, bytes that are no UTF-8 as \xHH.
std::string FormatJson(const std::vector<ListRow>& rows, std::optional<int64_t> usageKB);

// UTF-8 text for a JSON value (bytes that are no UTF-8 come out as U+FFFD:
// escape names with EscapeInvalidUtf8 first).
QString JsonText(const std::string& text);
// The object as one line of compact JSON, with its line feed.
std::string JsonLine(const QJsonObject& object);

// A column for the plain form: backslash, tab, LF and CR as \\ \t \n \r, any
// other control character as \xHH; everything else (UTF-8 included) unchanged.
std::string EscapeColumn(const std::string& text);

// The KB figure inside the usage text "約%1%KB使用中"; empty when the text is
// not of that form.
std::optional<int64_t> ParseUsageText(const std::string& usageText);
