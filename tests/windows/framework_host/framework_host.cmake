# The stand-in host of the module's Win32 boundary, built by a compiler that
# implements the MSVC ABI on its own: clang for i686-pc-windows-msvc, linked by
# lld-link against import libraries that llvm-dlltool makes from the .def files
# here (Debian: clang lld llvm). No SDK and no C runtime start-up: runtime.h
# declares what it uses. Sets ISORELINK_FRAMEWORK_HOST to the program, or
# ISORELINK_FRAMEWORK_HOST_MISSING to why it cannot be built.
find_program(ISORELINK_CLANG NAMES clang clang-19 clang-18 clang-17 clang-16 clang-15 clang-14)
find_program(ISORELINK_LLD_LINK NAMES lld-link lld-link-19 lld-link-18 lld-link-17 lld-link-16 lld-link-15 lld-link-14)
find_program(ISORELINK_LLVM_DLLTOOL NAMES llvm-dlltool llvm-dlltool-19 llvm-dlltool-18 llvm-dlltool-17
                                          llvm-dlltool-16 llvm-dlltool-15 llvm-dlltool-14)
set(ISORELINK_FRAMEWORK_HOST "")
set(ISORELINK_FRAMEWORK_HOST_MISSING "")
foreach(tool ISORELINK_CLANG ISORELINK_LLD_LINK ISORELINK_LLVM_DLLTOOL)
  if(NOT ${tool})
    string(APPEND ISORELINK_FRAMEWORK_HOST_MISSING " ${tool}")
  endif()
endforeach()
if(ISORELINK_FRAMEWORK_HOST_MISSING)
  set(ISORELINK_FRAMEWORK_HOST_MISSING "the stand-in host needs clang, lld-link and llvm-dlltool\
 (Debian: clang lld llvm); not found:${ISORELINK_FRAMEWORK_HOST_MISSING}")
  message(WARNING "${ISORELINK_FRAMEWORK_HOST_MISSING}")
  return()
endif()

set(fw_source ${CMAKE_CURRENT_LIST_DIR})
set(fw_work ${CMAKE_CURRENT_BINARY_DIR}/framework_host)
# Beside the module, where the loader looks for isorelink.qpi.
set(fw_program ${CMAKE_BINARY_DIR}/bin/framework_host.exe)
set(fw_libs "")
foreach(dll msvcrt kernel32 module)
  add_custom_command(OUTPUT ${fw_work}/${dll}.lib
    COMMAND ${CMAKE_COMMAND} -E make_directory ${fw_work}
    COMMAND ${ISORELINK_LLVM_DLLTOOL} -m i386 -k -d ${fw_source}/${dll}.def -l ${fw_work}/${dll}.lib
    DEPENDS ${fw_source}/${dll}.def
    VERBATIM)
  list(APPEND fw_libs ${fw_work}/${dll}.lib)
endforeach()
# Without frame pointers: in frame-pointer code a callee that leaves the stack
# unbalanced can go unnoticed.
set(fw_flags --target=i686-pc-windows-msvc -std=c++20 -O2 -fomit-frame-pointer -ffreestanding -nostdlibinc
    -fno-exceptions -fno-rtti -fno-threadsafe-statics -Wall -Wextra -Wpedantic)
add_custom_command(OUTPUT ${fw_work}/framework_host.obj
  COMMAND ${CMAKE_COMMAND} -E make_directory ${fw_work}
  COMMAND ${ISORELINK_CLANG} ${fw_flags} -c ${fw_source}/framework_host.cpp -o ${fw_work}/framework_host.obj
  DEPENDS ${fw_source}/framework_host.cpp ${fw_source}/runtime.h
  VERBATIM)
add_custom_command(OUTPUT ${fw_work}/measured_call.obj
  COMMAND ${CMAKE_COMMAND} -E make_directory ${fw_work}
  COMMAND ${ISORELINK_CLANG} --target=i686-pc-windows-msvc -c ${fw_source}/measured_call.s
          -o ${fw_work}/measured_call.obj
  DEPENDS ${fw_source}/measured_call.s
  VERBATIM)
add_custom_command(OUTPUT ${fw_program}
  COMMAND ${ISORELINK_LLD_LINK} /nologo /entry:host_entry /subsystem:console /nodefaultlib /safeseh:no
          ${fw_work}/framework_host.obj ${fw_work}/measured_call.obj ${fw_libs} /out:${fw_program}
  DEPENDS ${fw_work}/framework_host.obj ${fw_work}/measured_call.obj ${fw_libs}
  COMMENT "Linking the stand-in host for the MSVC target"
  VERBATIM)
add_custom_target(framework_host ALL DEPENDS ${fw_program})
add_dependencies(framework_host isorelink_plugin)
set(ISORELINK_FRAMEWORK_HOST ${fw_program})
