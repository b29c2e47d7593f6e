#pragma once

#include <QString>
#include <string>

// The logic keeps texts as Windows code page 1252 bytes; these convert at the display edge.
QString FromCp1252(const std::string& bytes);
std::string ToCp1252(const QString& text); // characters outside the code page become '?'
std::string Cp1252ToUtf8(const std::string& bytes);
