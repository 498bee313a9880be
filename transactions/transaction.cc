// Transaction: the operations of the register-transaction cursor.
#include "transactions/transaction.h"

ccStatus<ccError::Level> Transaction::Validate(bkProgram& program) { return m_Record.Validate(program, this); }
