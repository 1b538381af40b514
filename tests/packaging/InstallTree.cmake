# Installs the build into a scratch DESTDIR and checks what a desktop needs of it, so a packaging
# mistake fails the test run: cmake -DBUILD_DIR=... -DDESTDIR=... [-DWITH_QT=ON] -P InstallTree.cmake
file(REMOVE_RECURSE ${DESTDIR})
execute_process(COMMAND ${CMAKE_COMMAND} -E env DESTDIR=${DESTDIR}
    ${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix /usr
    RESULT_VARIABLE status OUTPUT_VARIABLE log ERROR_VARIABLE log)
if(NOT status EQUAL 0)
    message(FATAL_ERROR "cmake --install failed:\n${log}")
endif()

set(root ${DESTDIR}/usr)
set(expected bin/zelqorhdr-cli share/man/man1/zelqorhdr-cli.1.gz
    share/doc/zelqorhdr/copyright share/doc/zelqorhdr/changelog.gz)
if(WITH_QT)
    list(APPEND expected bin/zelqorhdr share/man/man1/zelqorhdr.1.gz
        share/applications/zelqorhdr.desktop share/metainfo/org.example.zelqorhdr.metainfo.xml
        share/icons/hicolor/scalable/apps/zelqorhdr.svg)
    foreach(size 16 32 48 64 128 256)
        list(APPEND expected share/icons/hicolor/${size}x${size}/apps/zelqorhdr.png)
    endforeach()
endif()
set(missing "")
foreach(f IN LISTS expected)
    if(NOT EXISTS ${root}/${f})
        list(APPEND missing ${f})
    endif()
endforeach()
if(missing)
    message(FATAL_ERROR "missing from the install tree under ${root}: ${missing}")
endif()

# The validators' verdicts, warnings included: a menu entry or software-centre file with a
# warning is one a distribution would send back.
function(check)
    execute_process(COMMAND ${ARGN} RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE out)
    if(NOT status EQUAL 0 OR out MATCHES "(error|warning|W: |E: )")
        message(FATAL_ERROR "${ARGN} (status ${status}):\n${out}")
    endif()
endfunction()
check(gzip -t ${root}/share/man/man1/zelqorhdr-cli.1.gz ${root}/share/doc/zelqorhdr/changelog.gz)
if(WITH_QT)
    check(gzip -t ${root}/share/man/man1/zelqorhdr.1.gz)
    check(desktop-file-validate ${root}/share/applications/zelqorhdr.desktop)
    check(appstreamcli validate --no-net --pedantic
        ${root}/share/metainfo/org.example.zelqorhdr.metainfo.xml)
endif()
message(STATUS "install tree under ${root} holds ${expected}")
