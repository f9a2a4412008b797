# Installs the build tree into a prefix inside it, then configures, builds and runs the
# consumer project against that installation (and imports the installed Python module when
# one was built). Run by CTest as `cmake -P` with BUILD_DIR, SOURCE_DIR, WORK_DIR, PYTHON.
set(prefix ${WORK_DIR}/prefix)
file(REMOVE_RECURSE ${WORK_DIR})

function(run)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE err)
  message("${out}")
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "failed (${status}): ${ARGN}\n${err}")
  endif()
endfunction()

run(${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${prefix})
foreach(file bin/pairtrack bin/pairtrack-history lib/libpairtrack.a include/pairtrack/pairtrack.h
             lib/cmake/pairtrack/pairtrackConfig.cmake)
  if(NOT EXISTS ${prefix}/${file})
    message(FATAL_ERROR "not installed: ${file}")
  endif()
endforeach()
run(${CMAKE_COMMAND} -S ${SOURCE_DIR}/tests/api/consumer -B ${WORK_DIR}/consumer
    -DCMAKE_PREFIX_PATH=${prefix} -DCMAKE_BUILD_TYPE=Release)
run(${CMAKE_COMMAND} --build ${WORK_DIR}/consumer)
run(${WORK_DIR}/consumer/consumer ${SOURCE_DIR}/examples)
run(${prefix}/bin/pairtrack --version)

if(PYTHON)
  file(GLOB_RECURSE module ${prefix}/lib/_core*.so)
  if(NOT module)
    message(FATAL_ERROR "the Python package was not installed under ${prefix}/lib")
  endif()
  get_filename_component(package_dir ${module} DIRECTORY)
  get_filename_component(module_dir ${package_dir} DIRECTORY)
  run(${CMAKE_COMMAND} -E env PYTHONPATH=${module_dir} ${PYTHON} -c
      "import pairtrack, os; assert os.path.dirname(pairtrack.__file__) == '${package_dir}'; print(pairtrack.__version__, len(pairtrack.read_catalogue('${SOURCE_DIR}/examples/mainbelt.cat')))")
endif()
