# What `zuv8620 export` prints is valid under docs/template-document.schema.json
# (the system's python3 with python3-jsonschema). Linux builds only.
if(NOT CMAKE_CROSSCOMPILING)
  add_test(NAME DocumentSchema.ExportIsValid
           COMMAND /usr/bin/python3 ${CMAKE_CURRENT_SOURCE_DIR}/check_document_schema.py
                   $<TARGET_FILE:zuv8620> ${PROJECT_SOURCE_DIR})
endif()
