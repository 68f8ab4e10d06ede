#include "support/run_state.h"

#include "exports/export_selection.h"
#include "input/mapped_file.h"
#include "input/object_registry.h"
#include "platform/standard_output.h"

void ResetRunState() {
  while (g_objectList != nullptr) {
    ObjectRecord* record = g_objectList;
    g_objectList = record->next;
    ReleaseMappedFile(record->container);
    delete record;
  }
  g_objectCount = 0;
  while (g_exportList != nullptr) {
    ExportEntry* entry = g_exportList;
    g_exportList = entry->next;
    delete entry;
  }
  g_exportCount = 0;
}

MappedFile* MapForTest(const std::string& path) {
  MappedFile* file = nullptr;
  return OpenMappedFile(path, &file) == S_OK ? file : nullptr;
}

CapturedOutput::CapturedOutput() { Out().CaptureInto(&text_); }

CapturedOutput::~CapturedOutput() { Out().CaptureInto(nullptr); }

const std::string& CapturedOutput::Text() {
  Out().Flush();
  return text_;
}
