// Conversion helpers shared by the environment and the channels.
#pragma once

#include <string>

#include "env/env.h"

namespace vnt {

// UTF-8 text -> the converter's encoding; 0 or 1235.
int utf8ToEncoding(UConverter* c, const char* in, size_t n, std::string& out);
// The converter's encoding -> UTF-8; 0 or 1235.
int encodingToUtf8(UConverter* c, const char* in, size_t n, std::string& out);

}  // namespace vnt
