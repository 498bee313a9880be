// Hand-written operations of BatchData (declared in records/batch_data_ops.inc).
#include "records/batch_data.h"

void BatchData::ClearAmounts() {
  m_Count = 0;
  m_Amount = tsCurrency(0);
  m_CountPosted = 0;
  m_AmountPosted = tsCurrency(0);
}
