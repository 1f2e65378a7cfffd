# Compresses SRC into DST the way Debian wants files under /usr/share/doc and
# /usr/share/man: best compression, no name and no time stamp in the header,
# so the same input always gives the same bytes.
#   cmake -DGZIP_PROGRAM=/bin/gzip -DSRC=file -DDST=file.gz -P Gzip.cmake
foreach(var IN ITEMS GZIP_PROGRAM SRC DST)
  if(NOT DEFINED ${var})
    message(FATAL_ERROR "Gzip.cmake: ${var} is not set")
  endif()
endforeach()
execute_process(COMMAND "${GZIP_PROGRAM}" -9 -n -c "${SRC}"
  OUTPUT_FILE "${DST}.tmp"
  RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  file(REMOVE "${DST}.tmp")
  message(FATAL_ERROR "gzip failed on ${SRC}: ${rc}")
endif()
file(RENAME "${DST}.tmp" "${DST}")
