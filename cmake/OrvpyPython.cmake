# Finds the CPython interpreters the extension module is built for and defines
# orvpy_add_python_module(). Each interpreter gets its own output folder, python<major.minor>,
# so one build tree holds modules for several interpreter versions over one core library.

function(_orvpy_python_runs exe out)
  execute_process(COMMAND "${exe}" -c "import sys; print(sys.executable)"
                  RESULT_VARIABLE rc OUTPUT_QUIET ERROR_QUIET)
  if(rc EQUAL 0)
    set(${out} TRUE PARENT_SCOPE)
  else()
    set(${out} FALSE PARENT_SCOPE)
  endif()
endfunction()

# CPython 3.12: python3.12 on PATH (a pyenv shim only counts if it runs), then pyenv's 3.12.
function(_orvpy_find_python312 out)
  find_program(_orvpy_python312 NAMES python3.12 NO_CACHE)
  if(_orvpy_python312)
    _orvpy_python_runs("${_orvpy_python312}" runs)
    if(runs)
      set(${out} "${_orvpy_python312}" PARENT_SCOPE)
      return()
    endif()
  endif()
  find_program(_orvpy_pyenv NAMES pyenv NO_CACHE)
  if(_orvpy_pyenv)
    execute_process(COMMAND "${_orvpy_pyenv}" prefix 3.12 OUTPUT_VARIABLE prefix
                    RESULT_VARIABLE rc ERROR_QUIET OUTPUT_STRIP_TRAILING_WHITESPACE)
    if(rc EQUAL 0 AND EXISTS "${prefix}/bin/python3.12")
      set(${out} "${prefix}/bin/python3.12" PARENT_SCOPE)
      return()
    endif()
  endif()
  set(${out} "" PARENT_SCOPE)
endfunction()

# Sets <prefix>_VERSION (major.minor), <prefix>_INCLUDE and <prefix>_SUFFIX for an interpreter.
function(_orvpy_inspect_python exe prefix)
  execute_process(
    COMMAND "${exe}" -c
      "import sys, sysconfig; print('%d.%d' % sys.version_info[:2]); print(sysconfig.get_paths()['include']); print(sysconfig.get_config_var('EXT_SUFFIX'))"
    OUTPUT_VARIABLE lines RESULT_VARIABLE rc OUTPUT_STRIP_TRAILING_WHITESPACE)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "Cannot run the Python interpreter ${exe}")
  endif()
  string(REPLACE "\n" ";" lines "${lines}")
  list(GET lines 0 version)
  list(GET lines 1 include)
  list(GET lines 2 suffix)
  if(version VERSION_LESS 3.9)
    message(FATAL_ERROR "${exe} is Python ${version}; the module needs CPython 3.9 or later")
  endif()
  if(NOT EXISTS "${include}/Python.h")
    message(FATAL_ERROR "${exe} has no development headers (${include}/Python.h); install python3-dev "
                        "or a CPython built with its headers")
  endif()
  set(${prefix}_VERSION "${version}" PARENT_SCOPE)
  set(${prefix}_INCLUDE "${include}" PARENT_SCOPE)
  set(${prefix}_SUFFIX "${suffix}" PARENT_SCOPE)
endfunction()

if(ORVPY_PYTHON)
  set(_orvpy_primary "${ORVPY_PYTHON}")
elseif(DEFINED ENV{ORVPY_PYTHON} AND NOT "$ENV{ORVPY_PYTHON}" STREQUAL "")
  set(_orvpy_primary "$ENV{ORVPY_PYTHON}")
else()
  _orvpy_find_python312(_orvpy_primary)
  if(NOT _orvpy_primary)
    find_program(_orvpy_primary NAMES python3 NO_CACHE REQUIRED)
    message(WARNING "CPython 3.12 was not found (neither python3.12 on PATH nor pyenv's 3.12); "
                    "building for ${_orvpy_primary} instead. Set ORVPY_PYTHON to choose.")
  endif()
endif()

# Interpreters to build for, primary first, one per major.minor version.
set(ORVPY_PYTHONS "")
set(_orvpy_versions "")
foreach(exe IN LISTS _orvpy_primary ORVPY_EXTRA_PYTHONS)
  _orvpy_inspect_python("${exe}" _orvpy_py)
  if(_orvpy_py_VERSION IN_LIST _orvpy_versions)
    message(STATUS "Skipping ${exe}: Python ${_orvpy_py_VERSION} is already built for")
    continue()
  endif()
  list(APPEND _orvpy_versions "${_orvpy_py_VERSION}")
  list(APPEND ORVPY_PYTHONS "${exe}")
  set(ORVPY_PYTHON_${_orvpy_py_VERSION}_EXE "${exe}")
  set(ORVPY_PYTHON_${_orvpy_py_VERSION}_INCLUDE "${_orvpy_py_INCLUDE}")
  set(ORVPY_PYTHON_${_orvpy_py_VERSION}_SUFFIX "${_orvpy_py_SUFFIX}")
  set(ORVPY_PYTHON_${_orvpy_py_VERSION}_DIR "${CMAKE_BINARY_DIR}/python${_orvpy_py_VERSION}")
  message(STATUS "Python ${_orvpy_py_VERSION}: ${exe}")
endforeach()
set(ORVPY_PYTHON_VERSIONS "${_orvpy_versions}")
list(GET ORVPY_PYTHON_VERSIONS 0 ORVPY_PRIMARY_VERSION)
set(ORVPY_PRIMARY_PYTHON "${ORVPY_PYTHON_${ORVPY_PRIMARY_VERSION}_EXE}")
set(ORVPY_PRIMARY_MODULE_DIR "${ORVPY_PYTHON_${ORVPY_PRIMARY_VERSION}_DIR}")
string(REPLACE "." "" ORVPY_PRIMARY_TAG "${ORVPY_PRIMARY_VERSION}")

# orvpy_add_python_module(<target> <module name> <python version> SOURCES ... LIBRARIES ...)
# An extension module for one interpreter version, written to that version's folder.
function(orvpy_add_python_module target module version)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBRARIES" ${ARGN})
  add_library(${target} MODULE ${ARG_SOURCES})
  target_include_directories(${target} SYSTEM PRIVATE "${ORVPY_PYTHON_${version}_INCLUDE}")
  target_link_libraries(${target} PRIVATE pybind11::headers ${ARG_LIBRARIES})
  set_target_properties(${target} PROPERTIES
    OUTPUT_NAME "${module}"
    PREFIX ""
    SUFFIX "${ORVPY_PYTHON_${version}_SUFFIX}"
    LIBRARY_OUTPUT_DIRECTORY "${ORVPY_PYTHON_${version}_DIR}"
    CXX_VISIBILITY_PRESET hidden
    VISIBILITY_INLINES_HIDDEN ON)
endfunction()
