// Reading a translation INI file from the host: the translation, the reports
// and the actor-comment copy all load their INI files through here, so that
// every one of them reads the byte order marks that editors write alike.
#ifndef TALVO_TRANSLATION_INI_INPUT_H
#define TALVO_TRANSLATION_INI_INPUT_H

#include "ini/ini_file.h"

// Loads the file at path into doc. A leading UTF-8 byte order mark stays in
// the document (IniFile reads past it); a file whose "encoding" names
// another encoding besides such a mark gets a warning. A file saved as
// UTF-16 (its byte order mark first) is refused. False after printing why
// (read_file reports an unreadable file itself).
bool load_ini_file(const char* path, talvo::IniFile* doc);

#endif
