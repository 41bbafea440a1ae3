// What the document engine offers the rest of the module: streams, the
// document container reader and writer, and the implode codec.
#pragma once

#include "docengine/byte_reader.h"
#include "docengine/doc_stream.h"
#include "docengine/document_file.h"
#include "docengine/document_set.h"
#include "docengine/implode.h"
