#include "integration.h"

// Reading payment rows waits for the row record; until then no row has a draft.
QList<Integration::DraftRef> Integration::drafts(const QList<int> &rowIndices) const
{
    Q_UNUSED(rowIndices);
    return {};
}
