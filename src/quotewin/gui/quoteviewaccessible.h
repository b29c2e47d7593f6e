#pragma once

class CKolpexView;

// The quote view as assistive technology sees it: named by its window's title, described by its
// chart in words, holding the chart and the info panel's lines (caption as name, figure as
// description, in panel order), with the last price as its value.
void InstallQuoteViewAccessibility();

// Tells assistive technology that a refresh changed what the view shows.
void AnnounceQuoteChange(CKolpexView& view);
