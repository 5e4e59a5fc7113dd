// File import: what a data file says about itself, as a FILE declaration.
// The runtime's dynamic file layer describes a file it was not compiled
// with this way; the driver's IMPORT entry (driver.h, Op::ImportFile) runs
// it for a FILE that is closed.
//
// What the file records, and so what the declaration gets:
//   - the label: the header's file prefix, else the record prefix, else the
//     data file's name without directory and extension; the NAME: the path;
//   - the record length (slot length - 5);
//   - every stored field in order, with its label as stored (the name rule
//     of descriptors.h may have cut it), type, offset, size, own dimensions,
//     picture and DECIMAL places; a field lying inside an earlier GROUP
//     (within its first element) is taken as that GROUP's member;
//   - every key with its label, components and DUP, NOCASE, OPT and INDEX;
//   - the MEMO: its size, and its label as the file prefix, a colon and the
//     stored memo name;
//   - RECLAIM and ENCRYPT from the attribute bits.
// What it does not record is left at the default: external names, fields
// kept in memory only, PRIMARY, BINARY (memo), OEM, THREAD, CREATE, the
// driver string.  A type code the format has no type for (0) becomes a
// STRING over the field's bytes.  OWNER files scramble their descriptors:
// `owner` (program code page) must then be the owner text.
//
// Threads: a call uses only its arguments; any thread.
#ifndef ZUNA_RUNTIME_DATFILE_FILE_IMPORT_H_
#define ZUNA_RUNTIME_DATFILE_FILE_IMPORT_H_

#include <optional>
#include <string>

#include "runtime/datfile/declaration.h"
#include "runtime/datfile/os_file.h"
#include "runtime/datfile/status.h"

namespace zuna::datfile {

// Opens the data file `name` (".DAT" added when it has no extension) read
// only, reads its header and descriptors and describes it in *decl.
// Errors: 45 for an empty or invalid name; the OS layer's number when the
// file cannot be opened (2 when it does not exist); 36 ("Invalid Data
// File") when the header or the descriptors cannot be read or make no
// sense (not "V3", a wrong or missing owner text, descriptors past the
// data, a key component naming no field).  *decl is untouched on failure.
Status ImportDeclaration(FileSystem& fs, const std::string& name,
                         FileDecl* decl,
                         const std::optional<std::string>& owner = std::nullopt);

}  // namespace zuna::datfile

#endif  // ZUNA_RUNTIME_DATFILE_FILE_IMPORT_H_
