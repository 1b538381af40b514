# Installs the build into a scratch DESTDIR and checks what a desktop needs of it, so a packaging
# mistake fails the test run:
# cmake -DBUILD_DIR=... -DDESTDIR=... -DSOURCE_DIR=... [-DWITH_QT=ON] -P InstallTree.cmake
file(REMOVE_RECURSE ${DESTDIR})
execute_process(COMMAND ${CMAKE_COMMAND} -E env DESTDIR=${DESTDIR}
    ${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix /usr
    RESULT_VARIABLE status OUTPUT_VARIABLE log ERROR_VARIABLE log)
if(NOT status EQUAL 0)
    message(FATAL_ERROR "cmake --install failed:\n${log}")
endif()

set(root ${DESTDIR}/usr)
set(app_id io.github.zelqorhdr.ZelqorHDR)
set(expected bin/zelqorhdr-cli share/man/man1/zelqorhdr-cli.1.gz
    share/doc/zelqorhdr/copyright share/doc/zelqorhdr/changelog.gz)
if(WITH_QT)
    list(APPEND expected bin/zelqorhdr share/man/man1/zelqorhdr.1.gz
        share/applications/${app_id}.desktop share/metainfo/${app_id}.metainfo.xml
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
    check(desktop-file-validate ${root}/share/applications/${app_id}.desktop)
    check(appstreamcli validate --no-net --pedantic ${root}/share/metainfo/${app_id}.metainfo.xml)
    # The software centre finds the menu entry through its id, and names the licence the
    # copyright file grants.
    file(READ ${root}/share/metainfo/${app_id}.metainfo.xml metainfo)
    foreach(needed "<id>${app_id}</id>"
            "<launchable type=\"desktop-id\">${app_id}.desktop</launchable>"
            "<project_license>GPL-3.0-or-later</project_license>")
        string(FIND "${metainfo}" "${needed}" at)
        if(at EQUAL -1)
            message(FATAL_ERROR "${app_id}.metainfo.xml lacks ${needed}")
        endif()
    endforeach()
endif()

# FFTW is GPL: the package can only be given on under a GPL-compatible licence, and the one it
# names must be the one whose text the sources carry.
file(READ ${root}/share/doc/zelqorhdr/copyright copyright)
if(NOT copyright MATCHES "\nLicense: GPL-3.0-or-later\n" OR copyright MATCHES "proprietary")
    message(FATAL_ERROR "the copyright file does not grant GPL-3.0-or-later:\n${copyright}")
endif()
file(READ ${SOURCE_DIR}/COPYING copying)
file(READ /usr/share/common-licenses/GPL-3 gpl3)
if(NOT copying STREQUAL gpl3)
    message(FATAL_ERROR "COPYING is not the text of /usr/share/common-licenses/GPL-3")
endif()
message(STATUS "install tree under ${root} holds ${expected}")
