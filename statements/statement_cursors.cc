// The statement file's spec and the typed cursors of its tables.
#include "statements/statement_cursors.h"

const tsioFileSpec BKSFileSpec("BKS", 1, 240, RLS_AUTH_NONE);

template class bkCursor<StatementLineData>;
template class bkCursor<ReconciliationData>;
