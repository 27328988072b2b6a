# The program's place on a desktop, every file named after its application
# id: desktop entry, AppStream metadata, icons and manual page. The PNG
# icons are rendered from the one SVG at build time, for the icon theme and
# for the window itself. Included where the echowatch target is defined.
set(ECHOWATCH_APPLICATION_ID org.echowatch.EchoWatch)
set(echowatch_packaging ${PROJECT_SOURCE_DIR}/packaging)
set(echowatch_svg ${echowatch_packaging}/${ECHOWATCH_APPLICATION_ID}.svg)
find_program(RSVG_CONVERT rsvg-convert REQUIRED DOC "renders the icons (package librsvg2-bin)")

# Debian wants manual pages and changelogs compressed, with no timestamp.
# The source is left in place: it may itself be generated beside the output.
function(echowatch_gzip target source output)
    add_custom_command(OUTPUT ${output}
        COMMAND sh -c "gzip -9nc \"$1\" > \"$2\"" gzip ${source} ${output}
        DEPENDS ${source} VERBATIM)
    add_custom_target(${target} ALL DEPENDS ${output})
endfunction()

set(icon_pngs)
foreach(size 16 24 32 48 64 128 256)
    set(icon_dir ${CMAKE_CURRENT_BINARY_DIR}/icons/${size}x${size})
    set(png ${icon_dir}/${ECHOWATCH_APPLICATION_ID}.png)
    add_custom_command(OUTPUT ${png}
        COMMAND ${CMAKE_COMMAND} -E make_directory ${icon_dir}
        COMMAND ${RSVG_CONVERT} --width=${size} --height=${size} --output=${png} ${echowatch_svg}
        DEPENDS ${echowatch_svg} VERBATIM)
    list(APPEND icon_pngs ${png})
    install(FILES ${png} DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps)
endforeach()
qt_add_resources(echowatch application_icon
    PREFIX /icons BASE ${CMAKE_CURRENT_BINARY_DIR}/icons FILES ${icon_pngs})
target_compile_definitions(echowatch PRIVATE
    ECHOWATCH_APPLICATION_ID="${ECHOWATCH_APPLICATION_ID}")

set(manual ${CMAKE_CURRENT_BINARY_DIR}/echowatch.1.gz)
echowatch_gzip(echowatch_manual ${echowatch_packaging}/echowatch.1 ${manual})

install(FILES ${echowatch_svg} DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
install(FILES ${echowatch_packaging}/${ECHOWATCH_APPLICATION_ID}.desktop
    DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${echowatch_packaging}/${ECHOWATCH_APPLICATION_ID}.metainfo.xml
    DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
install(FILES ${manual} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
