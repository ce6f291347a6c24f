# Installs the build into a scratch prefix and checks what lands where:
#   cmake -DBUILD_DIR=... -DPREFIX=... -DMODULE=isorelink.qpi -P check_install.cmake
file(REMOVE_RECURSE ${PREFIX})
execute_process(COMMAND ${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${PREFIX}
                RESULT_VARIABLE installed OUTPUT_QUIET)
if(NOT installed EQUAL 0)
  message(FATAL_ERROR "cmake --install failed (${installed})")
endif()
foreach(expected bin/isorelink lib/isorelink/${MODULE})
  if(NOT EXISTS ${PREFIX}/${expected} AND NOT EXISTS ${PREFIX}/${expected}.exe)
    message(FATAL_ERROR "cmake --install did not install ${expected}")
  endif()
endforeach()
execute_process(COMMAND ${PREFIX}/bin/isorelink --version RESULT_VARIABLE ran OUTPUT_VARIABLE said)
if(NOT ran EQUAL 0 OR NOT said MATCHES "^isorelink ")
  message(FATAL_ERROR "the installed isorelink does not run: ${said}")
endif()
file(REMOVE_RECURSE ${PREFIX})
