# The transcoder's scan kernels for the wider instruction sets, each source
# built with its own flags; the engine picks one at run time from what the
# processor reports, so nothing here may reach any other file. Used by the
# engine and by the fuzz project.
#
#   corvane_add_scan_kernels(<target> <engine/src folder>)
include_guard(GLOBAL)

function(corvane_add_scan_kernels target src)
  string(TOLOWER "${CMAKE_SYSTEM_PROCESSOR}" cpu)
  if(NOT cpu MATCHES "^(x86_64|amd64|x64)$" OR NOT CMAKE_CXX_COMPILER_ID MATCHES "GNU|Clang")
    return()  # the portable scan only (RecordTranscoder.cpp offers no other level)
  endif()
  set(avx2 -mavx2 -mbmi -mbmi2 -mpopcnt)
  set(avx512 ${avx2} -mavx512f -mavx512bw)
  if(WIN32)
    # GCC keeps 32- and 64-byte vectors spilled to the stack with aligned moves,
    # but the Windows stack is only 16-byte aligned; let the assembler make
    # them unaligned moves.
    list(APPEND avx2 -Wa,-muse-unaligned-vector-move)
    list(APPEND avx512 -Wa,-muse-unaligned-vector-move)
  endif()
  target_compile_definitions(${target} PRIVATE CORVANE_X86_SCAN_KERNELS)
  target_sources(${target} PRIVATE ${src}/TranscoderScanAvx2.cpp ${src}/TranscoderScanAvx512.cpp)
  set_source_files_properties(${src}/TranscoderScanAvx2.cpp TARGET_DIRECTORY ${target}
    PROPERTIES COMPILE_OPTIONS "${avx2}")
  set_source_files_properties(${src}/TranscoderScanAvx512.cpp TARGET_DIRECTORY ${target}
    PROPERTIES COMPILE_OPTIONS "${avx512}")
endfunction()
