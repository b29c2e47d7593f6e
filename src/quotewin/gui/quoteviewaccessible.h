#pragma once

class CKolpexView;
struct QuoteRecord;

// The quote view as assistive technology sees it: named by its window's title, described by its
// chart in words, holding the chart and the info panel's lines (each line as drawn, in panel
// order, where it is drawn), with the last price as its value.
void InstallQuoteViewAccessibility();

// Tells assistive technology which item has the focus, when the view has it.
void TellItemFocused(CKolpexView& view);

// Says a refresh of the active quote window that moved its price, once; other refreshes and
// other windows stay silent. before is the quote the refresh replaced.
void AnnounceRefresh(CKolpexView& view, const QuoteRecord& before);
