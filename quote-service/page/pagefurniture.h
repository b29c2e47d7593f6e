#pragma once

#include <QByteArray>
#include <cstdint>

// The ordinary parts of a finance portal page around the quote. Nothing in the parts that come
// before the quote table may contain a figure's caption or marker: the first occurrence counts.
void AppendPageHead(QByteArray& out, const QByteArray& title);
const QByteArray& PageNavigation();
// Headlines and link lists after the quote; appended until the page has reached targetBytes.
void AppendNews(QByteArray& page, std::uint64_t seed, qsizetype targetBytes);
const QByteArray& PageFooter();
