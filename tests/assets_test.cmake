# Regenerates the assets into a scratch directory and fails unless they match the committed
# ones byte for byte, so assets/ cannot drift from tools/make_assets.cpp. Also checks that the
# benchmark mesh is produced and that wrong usage is refused.
#
#   cmake -DMAKE_ASSETS=<make_assets> -DSOURCE_DIR=<repo root> -DWORK_DIR=<scratch dir>
#         -P tests/assets_test.cmake
foreach(variable MAKE_ASSETS SOURCE_DIR WORK_DIR)
  if(NOT DEFINED ${variable} OR "${${variable}}" STREQUAL "")
    message(FATAL_ERROR "assets_test: pass -D${variable}=...")
  endif()
endforeach()

# Only our own outputs are removed, so a stale file can never pass for a fresh one.
file(MAKE_DIRECTORY "${WORK_DIR}")
file(REMOVE "${WORK_DIR}/cube.3ds" "${WORK_DIR}/die.bmp" "${WORK_DIR}/capacity.3ds")

execute_process(COMMAND "${MAKE_ASSETS}" "${WORK_DIR}" RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "make_assets ${WORK_DIR} failed: ${status}")
endif()

foreach(name cube.3ds die.bmp)
  execute_process(
    COMMAND "${CMAKE_COMMAND}" -E compare_files "${WORK_DIR}/${name}" "${SOURCE_DIR}/assets/${name}"
    RESULT_VARIABLE differs)
  if(NOT differs EQUAL 0)
    message(FATAL_ERROR "assets/${name} differs from what make_assets writes now: "
                        "run make_assets on assets/ and commit the result")
  endif()
endforeach()

execute_process(COMMAND "${MAKE_ASSETS}" --capacity-mesh "${WORK_DIR}/capacity.3ds"
                RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "make_assets --capacity-mesh failed: ${status}")
endif()
if(NOT EXISTS "${WORK_DIR}/capacity.3ds")
  message(FATAL_ERROR "make_assets --capacity-mesh wrote nothing")
endif()
file(SIZE "${WORK_DIR}/capacity.3ds" capacity_size)
if(capacity_size EQUAL 0)
  message(FATAL_ERROR "make_assets --capacity-mesh wrote an empty file")
endif()

execute_process(COMMAND "${MAKE_ASSETS}" RESULT_VARIABLE status OUTPUT_QUIET ERROR_QUIET)
if(NOT status EQUAL 2)
  message(FATAL_ERROR "make_assets without arguments should exit 2, not ${status}")
endif()
