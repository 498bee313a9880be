// Macro options: what a program keeps in its task's macro so that the next
// run of the task (a replay, or simply the next program of that task) starts
// with the same choices, and which data files the macro uses.
//
// Options are byte blocks stored per task command ID under two identifiers
// (an option group and an entry within it, e.g. 50 and 1). Files are
// registered by their file id ("BKT.2") with the file number they had.
//
// Storage: one text file per task in the application's company folder,
// "macros/<command id>.opt":
//   option <id> <sub id> <bytes as lower-case hex, "-" for none>
//   file <file id> <file number>
// Writers replace the whole file (a temporary file, then rename) while they
// hold an exclusive lock on "macros/<command id>.opt.lock", so programs of
// several processes may write at once without losing each other's entries,
// and a reader never sees half a file. Lines that cannot be read are ignored.
//
// Results are tsioStatus values: 0 success, 1 the stored block has another
// size than asked for, 2 the file could not be read or written, 13 no such
// entry, 15 no company folder is set.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "framework/base/export.h"

// Reads the block stored for (task, id, sub id) into `data` (left untouched
// unless 0 is returned).
TS_EXPORT short xm_get_options(unsigned short task_command_id, short id, short sub_id,
                               std::vector<unsigned char>& data);
// The same into a fixed-size block; 1 (untouched) when the stored block has
// another size.
TS_EXPORT short xm_get_options(unsigned short task_command_id, short id, short sub_id, void* data,
                               std::size_t size);
// Stores a block for (task, id, sub id), replacing what was stored.
TS_EXPORT short xm_put_options(unsigned short task_command_id, short id, short sub_id, const void* data,
                               std::size_t size);
// Registers a data file with the task's macro; a file id registered before
// gets the new file number.
TS_EXPORT short xm_add_file(std::string_view file_id, short file_number, unsigned short task_command_id);

struct TS_EXPORT xm_file_entry {
  std::string file_id;
  short file_number = 0;
};
// The files registered with the task's macro, in order of registration.
TS_EXPORT std::vector<xm_file_entry> xm_files(unsigned short task_command_id);
// Where the task's macro options live; "" while no company folder is set.
TS_EXPORT std::string xm_options_path(unsigned short task_command_id);
