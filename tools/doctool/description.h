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
//   date <yyyy-mm-dd> [<hh:mm:ss>]   the document's date (default: now)
// A menu table (page 1's second text, the tokens joined by 0x01 bytes):
//   title <text> | <command>   the title pair (written as "-", "-", text, command)
//   item <text> | <command>    one menu item
//   separator                  a separator ("-")
//   token <text>               one raw token, as it stands
//
// A set description (`pfcdoc set pack`) starts with the set's own lines and
// then gives each slot's document:
//   tag <number>               the set tag (the distributor's id)
//   set-info <number> <value16> <value32>   set information record
//   set-date <yyyy-mm-dd> [<hh:mm:ss>]      its date
//   set-text1..set-text4 <text>             its texts (31, 31, 15, 9 characters)
//   slot <0..24>               the lines up to the next slot describe its document
//   file <path>                (in a slot) embed this document file instead;
//                              relative to the description's directory
#pragma once

#include <array>
#include <string>
#include <vector>

#include "doctool/set_builder.h"

struct WriteDescription {
    docengine::DocumentDescription document;
    std::string strAppendTo;  // empty: a standalone document
};

// Parses the description; on a bad line returns false with a message
// naming the line.
bool ParseDescription(const std::string& strText, WriteDescription* pOut, std::string* pError);

// Parses a set description into the set container's description; slot
// documents are built (or read) as they are met. strBaseDir resolves `file`.
bool ParseSetDescription(const std::string& strText, const std::string& strBaseDir,
                         docengine::SetDescription* pOut, std::string* pError);
