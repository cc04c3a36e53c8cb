#pragma once
// Naming an event sink's class from the game's run-time type information, reading only
// memory known to be readable: a damaged object may point anywhere.

#include <string>

// A sink's dynamic type name ("class FreezeEventHandler"), or "<no rtti>" when it has no
// type information this plugin can read.
std::string SinkTypeName(void* sink);
