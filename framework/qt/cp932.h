// Code page 932 <-> Unicode at the screen's edge.
//
// Texts live as code-page-932 bytes everywhere else; only the Qt backend converts, when a text
// is put on screen and when a box is read back. The conversion is iconv's "CP932" (the Windows
// mapping, so 0x5C is the backslash and 0x815F the full-width one). Bytes that are not valid
// CP932 show as U+FFFD; characters that CP932 lacks read back as '?'.
#pragma once

#include <QString>
#include <string>
#include <string_view>

QString FromCp932(std::string_view bytes);
std::string ToCp932(const QString& text);
