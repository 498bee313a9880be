// Batch types of the batch framework (zzBatch::BType).
#pragma once

enum class zzBatchType : short {
  kNoBatch = 0,    // the program works without a batch
  kManual = 1,     // a batch a person chose or created
  kAutomatic = 2,  // a batch the program created by itself
  kImported = 3,   // a batch filled from another application's data
};
