// The plain description format that `pfcdoc write` reads.
//
// One directive a line; '#' starts a comment line; blank lines are skipped.
//   text1 <text>        first header text   (also text2, text3)
//   flags <number>      document flags (decimal or 0x hex)
//   resolution <x> <y>  base resolution in dots per inch (default 200 200)
//   compress on|off     compressed records (default off)
//   password <text>     protect the document with this password
//   append <path>       write the document behind the bytes of this file,
//                       framed by the trailer
//   page [<w> <h>]      start a new page (size in dots, default 1728 2200)
//   first <text>        the current page's first text  (\n in the text: new line)
//   second <text>       the current page's second text
#pragma once

#include <string>

#include "docengine/document_builder.h"

struct WriteDescription {
    docengine::DocumentDescription document;
    std::string strAppendTo;  // empty: a standalone document
};

// Parses the description; on a bad line returns false with a message
// naming the line.
bool ParseDescription(const std::string& strText, WriteDescription* pOut, std::string* pError);
