// An ODBC connection string as the program may show it: its passwords masked
// and the server it names, so a message about the line's database says where
// it is and never what the password is.
#pragma once

#include <string>

// The text with the value of every PWD= and Password= attribute (any case,
// braced or not) replaced by ***; everything else is kept as written. A value
// whose closing brace is missing runs to the end of the text, so all of it
// is masked.
std::string MaskConnectionSecret(const std::string& connection);

// The text with every password value of the connection string replaced by
// ***: for what a driver says back, which might quote it.
std::string HideConnectionSecretIn(const std::string& text, const std::string& connection);

// Where the database is, for messages: "HOST" or "HOST:PORT" from Server= or
// Host= (with Port=), else "data source NAME" from DSN=, else "database NAME"
// from Database=, else "the connection string's database".
std::string ServerOf(const std::string& connection);
