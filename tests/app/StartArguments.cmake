# The desktop program's command line, run for real: answers on standard output, usage errors with
# exit status 2, with and without a display. cmake -DPROGRAM=path/zelqorhdr -P StartArguments.cmake
set(failures "")
# check(DISPLAY|NODISPLAY STATUS STDOUT-REGEX STDERR-REGEX ARGS...)
function(check where status out_regex err_regex)
    if(where STREQUAL "DISPLAY")
        set(env QT_QPA_PLATFORM=offscreen)
    else()
        set(env --unset=QT_QPA_PLATFORM --unset=DISPLAY --unset=WAYLAND_DISPLAY)
    endif()
    execute_process(COMMAND ${CMAKE_COMMAND} -E env ${env} ${PROGRAM} ${ARGN}
        RESULT_VARIABLE got OUTPUT_VARIABLE out ERROR_VARIABLE err TIMEOUT 60)
    if(NOT got STREQUAL status OR NOT out MATCHES "${out_regex}" OR NOT err MATCHES "${err_regex}")
        string(APPEND failures "\n[${where}] zelqorhdr ${ARGN}: status ${got} (want ${status})\n"
            "  stdout: ${out}\n  stderr: ${err}")
        set(failures "${failures}" PARENT_SCOPE)
    endif()
endfunction()

foreach(where DISPLAY NODISPLAY)
    check(${where} 0 "^zelqorhdr [0-9]+\\.[0-9]+\\.[0-9]+\n$" "^$|XDG_RUNTIME_DIR" --version)
    check(${where} 0 "^Usage: [^\n]*zelqorhdr \\[options\\] \\[file\\]\n.*\n  -h, --help .*--version" ""
        --help)
    check(${where} 2 "^$" "Unknown option 'bogus'.*\nUsage: [^\n]*\\[file\\]\n$" --bogus)
    check(${where} 2 "^$" "one file at a time, not 2\nUsage: " one.jpg two.jpg)
endforeach()
check(NODISPLAY 1 "^$" "no display" photo.jpg)

if(failures)
    message(FATAL_ERROR "${failures}")
endif()
