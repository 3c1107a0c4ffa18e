#pragma once

// What the HTTP library hands the server and takes from it: replies, the
// query and head of a request, the path's escapes, the connection limit.

#include <QByteArray>

#include <cstddef>

#include <microhttpd.h>

namespace korvanteslin {

// Queues a JSON reply on the connection; with `askToken`, one that says a
// bearer token is wanted.
MHD_Result queue(MHD_Connection* connection, int status, const QByteArray& json, bool askToken = false);

// Value iterators: into a QMap<QString, QString> of the query, and into a RequestHead.
MHD_Result addArgument(void* query, MHD_ValueKind kind, const char* key, const char* value);
MHD_Result addHeader(void* head, MHD_ValueKind kind, const char* key, const char* value);

// Percent escapes decoded in place, as the library would; a path or value
// that would decode to a NUL is left as sent, so "/state%00" is not taken
// for "/state" by everything that reads it as a C string.
std::size_t unescape(void* context, MHD_Connection* connection, char* text);

// How many connections the server holds at once: well below the process's
// descriptor limit, leaving the rest of the program what it needs.
unsigned connectionLimit();

} // namespace korvanteslin
