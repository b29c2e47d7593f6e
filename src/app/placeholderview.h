#pragma once

#include "platform/gui/docview.h"

// A blank view that stands in for a window kind whose own view is not there yet.
class PlaceholderView final : public CView {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(PlaceholderView)
public:
    explicit PlaceholderView(CDocument* document);
};
