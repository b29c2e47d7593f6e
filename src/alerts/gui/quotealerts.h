#pragma once

class CKolpexView;

// Price alerts on a quote window. Attached when the view is made: its context menu (right click,
// the Menu key, Shift+F10) offers "Price Alert...". Checked after each successful quote: the
// window's alerts come from the alerts file at its first quote, and each crossing is told once.
void AttachPriceAlerts(CKolpexView& view);
void CheckPriceAlerts(CKolpexView& view);
