#pragma once

// The file system layer of the handles that read a whole notebook in order
// (the search index's reader, a search while the index is built). SQLite
// reads a page per system call; on a virtual machine a call costs a few
// microseconds, and a notebook of a few hundred MB is some 100,000 pages. This
// layer, over SQLite's own, reads ahead while the reads go forward through
// the file, in pieces that grow to 256 KB: a few thousand calls instead. Reads
// that jump about get no more than they ask for, and what was read ahead is
// forgotten whenever the handle lets go of the file (another program may
// write it then).
namespace varnel::db
{

// The layer's name for sqlite3_open_v2, registered on the first call; null
// when it could not be.
const char *readAheadVfs();

} // namespace varnel::db
