# Installs the Python package from a copy of its sources (pip builds in the
# source folder) with Debian's pip and setuptools: no build isolation, no
# index, so nothing is downloaded. Then imports it from the installation and
# opens the virtual camera through the library given.
file(REMOVE_RECURSE ${WORK})
file(MAKE_DIRECTORY ${WORK})
file(COPY ${SOURCE}/pyproject.toml ${SOURCE}/quorel DESTINATION ${WORK}/src PATTERN __pycache__ EXCLUDE)
file(WRITE ${WORK}/src/README.md "quorel\n")
execute_process(
  COMMAND ${PYTHON} -m pip install --no-build-isolation --no-index --no-deps --disable-pip-version-check
          --target ${WORK}/site ${WORK}/src
  RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "pip install failed:\n${output}")
endif()
if(NOT EXISTS ${WORK}/site/quorel/py.typed)
  message(FATAL_ERROR "the installed package lacks its type marker py.typed")
endif()
set(ENV{PYTHONPATH} ${WORK}/site)
set(ENV{PYTHONDONTWRITEBYTECODE} 1)
set(ENV{QUOREL_LIBRARY} ${LIBRARY})
set(ENV{QUOREL_DRIVER} sim)
set(ENV{QUOREL_REGISTRY} ${WORK}/registry.reg)
string(RANDOM LENGTH 8 suffix)
set(ENV{QUOREL_SHM_NAME} /quorel_pyinstall_${suffix})
execute_process(
  COMMAND ${PYTHON} -c "import quorel, pathlib; assert pathlib.Path(quorel.__file__).is_relative_to('${WORK}/site'); print([c.name for c in quorel.list_cameras()])"
  WORKING_DIRECTORY ${WORK}
  RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
if(NOT result EQUAL 0 OR NOT output MATCHES "Quorel470KX-PLU_01")
  message(FATAL_ERROR "the installed package did not run:\n${output}")
endif()
