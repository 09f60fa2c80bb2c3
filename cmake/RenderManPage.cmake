# Turns one scdoc page into a gzip-compressed manual page (cmake -P).
#   -DSCDOC=... -DGZIP=... -DINPUT=page.1.scd -DOUTPUT=page.1.gz -DVERSION=x.y.z
#   -DHELPER_DIR=... -DDATA_DIR=...: the installed folders the page names (@KELVANE_HELPER_DIR@,
#   @KELVANE_DATA_DIR@ in the page)
#   [-DSOURCE_DATE_EPOCH=seconds]: the page's date, so that a rebuild gives the same bytes
foreach(var SCDOC GZIP INPUT OUTPUT VERSION HELPER_DIR DATA_DIR)
  if(NOT DEFINED ${var})
    message(FATAL_ERROR "RenderManPage: ${var} is not set")
  endif()
endforeach()

get_filename_component(name "${OUTPUT}" NAME_WLE)
get_filename_component(folder "${OUTPUT}" DIRECTORY)
set(PROJECT_VERSION "${VERSION}")
set(KELVANE_HELPER_DIR "${HELPER_DIR}")
set(KELVANE_DATA_DIR "${DATA_DIR}")
configure_file("${INPUT}" "${folder}/${name}.scd" @ONLY)
if(DEFINED SOURCE_DATE_EPOCH AND NOT SOURCE_DATE_EPOCH STREQUAL "")
  set(ENV{SOURCE_DATE_EPOCH} "${SOURCE_DATE_EPOCH}")
endif()
execute_process(COMMAND "${SCDOC}"
  INPUT_FILE "${folder}/${name}.scd" OUTPUT_FILE "${folder}/${name}"
  ERROR_VARIABLE problems RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  file(REMOVE "${folder}/${name}")
  message(FATAL_ERROR "scdoc could not read ${INPUT}: ${problems}")
endif()
# -n: no name or time stamp inside the archive, as Debian wants for reproducible packages.
execute_process(COMMAND "${GZIP}" -9 -n -c "${folder}/${name}"
  OUTPUT_FILE "${OUTPUT}" RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  file(REMOVE "${OUTPUT}")
  message(FATAL_ERROR "gzip failed on ${folder}/${name}")
endif()
