// The program's compiled-in string table: the English texts, which the
// localisation library falls back to, and lookups through it.
#pragma once

#include "language/language.h"

#include <QString>

extern const LangModule kProgramModuleTemplate; // string table only; the folder is set at start-up

// Text of string id in the current language (the English text when the
// language has none).
QString LoadText(HLANGCTX ctx, uint32_t id);
// Text of key in the current language, or default_text.
QString LoadTextByKey(HLANGCTX ctx, const char* key, const QString& default_text);
