# The compiler flags every target of ours builds with, kept on one interface
# target instead of global options, so imported targets (Qt, GoogleTest) are
# left as they come and each flag is visible where it is set.
add_library(echowatch_flags INTERFACE)
target_compile_options(echowatch_flags INTERFACE -Wall -Wextra -Wpedantic)
if(ECHOWATCH_WERROR)
    target_compile_options(echowatch_flags INTERFACE -Werror)
endif()

if(ECHOWATCH_SANITIZE)
    target_compile_options(echowatch_flags INTERFACE
        -fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
    target_link_options(echowatch_flags INTERFACE -fsanitize=address,undefined)
endif()

if(ECHOWATCH_FUZZ)
    if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
        message(FATAL_ERROR
            "ECHOWATCH_FUZZ needs clang (libFuzzer); this compiler is ${CMAKE_CXX_COMPILER_ID}. "
            "Configure with CXX=clang++, as scripts/fuzz.sh does.")
    endif()
    # Coverage feedback must reach the libraries, not only the fuzz targets.
    target_compile_options(echowatch_flags INTERFACE -fsanitize=fuzzer-no-link)
endif()

# Gives every target defined below dir the flags above.
function(echowatch_apply_flags dir)
    get_property(targets DIRECTORY ${dir} PROPERTY BUILDSYSTEM_TARGETS)
    foreach(target IN LISTS targets)
        get_target_property(type ${target} TYPE)
        if(type MATCHES "^(STATIC_LIBRARY|SHARED_LIBRARY|MODULE_LIBRARY|OBJECT_LIBRARY|EXECUTABLE)$")
            target_link_libraries(${target} PRIVATE echowatch_flags)
        endif()
    endforeach()
    get_property(subdirs DIRECTORY ${dir} PROPERTY SUBDIRECTORIES)
    foreach(subdir IN LISTS subdirs)
        echowatch_apply_flags(${subdir})
    endforeach()
endfunction()
