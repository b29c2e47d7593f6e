#include "app/placeholderview.h"

PlaceholderView::PlaceholderView(CDocument* document)
    : CView(document)
{
    setAutoFillBackground(true);
    setBackgroundRole(QPalette::Base);
}
