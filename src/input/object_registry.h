// The process-wide list of object images that passed validation.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "input/mapped_file.h"
#include "platform/system_status.h"

struct ObjectRecord {
  MappedFile* container;  // holds one reference for the record's whole life
  uint32_t size;          // bytes of the image
  std::string name;       // base name of a bare file, or the archive member's name
  uint8_t* image;         // the ELF header, inside container->view
  ObjectRecord* next;     // the record registered just before this one
};

// Newest first. The driver clears both at the start of a run.
extern ObjectRecord* g_objectList;
extern int32_t g_objectCount;

// Validates the image and, when it is a relocatable object with sections,
// adds a record at the head of the list. The name is copied up to `nameLength`
// bytes or a NUL. Prints its own message on failure.
Status RegisterObject(MappedFile* container, uint8_t* image, uint32_t size, const char* name, size_t nameLength);

// Registers a whole mapped file under its base name; on success the caller's
// reference passes to the new record.
Status RegisterBareObject(MappedFile* file);

// The part of a path after its last '/' or '\\'.
std::string_view BaseName(std::string_view path);
