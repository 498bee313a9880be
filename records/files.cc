// The file specs of the module (see files.h).
#include "records/files.h"

const tsioFileSpec BKMFileSpec("BKM", 1, 210, RLS_AUTH_NONE);
const tsioFileSpec BKTFileSpec("BKT", 1, 221, RLS_AUTH_NONE);
const tsioFileSpec BKTHistoryFileSpec("BKT", 2, 222, RLS_AUTH_NONE);
const tsioFileSpec BKZFileSpec("BKZ", 1, 230, RLS_AUTH_NONE);
const tsioFileSpec GLMFileSpec("GLM", 1, 310, RLS_AUTH_NONE);
const tsioFileSpec GLTFileSpec("GLT", 1, 331, RLS_AUTH_NONE);
const tsioFileSpec GLTFileSpec2("GLT", 2, 332, RLS_AUTH_NONE);
const tsioFileSpec APMFileSpec("APM", 1, 110, RLS_AUTH_NONE);
const tsioFileSpec PRSFileSpec("PRS", 0, 610, RLS_AUTH_NONE);
const tsioFileSpec TXMFileSpec("TXM", 1, 710, RLS_AUTH_NONE);
