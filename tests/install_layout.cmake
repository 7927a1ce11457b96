# Installs the build folder BUILD into a scratch prefix and checks what a desktop expects to find
# there; the desktop entry and the metainfo must pass their validators.
# cmake -DBUILD=... -DAPP_ID=... -DDESKTOP_FILE_VALIDATE=... -DAPPSTREAMCLI=... -P install_layout.cmake
set(prefix ${BUILD}/install-layout-test)
file(REMOVE_RECURSE ${prefix})
execute_process(COMMAND ${CMAKE_COMMAND} --install ${BUILD} --prefix ${prefix} OUTPUT_QUIET RESULT_VARIABLE failed)
if(failed)
  message(FATAL_ERROR "cmake --install failed")
endif()

set(hicolor share/icons/hicolor)
foreach(file bin/cellwise bin/cellwise-server share/applications/${APP_ID}.desktop
             share/metainfo/${APP_ID}.metainfo.xml ${hicolor}/scalable/apps/${APP_ID}.svg
             ${hicolor}/48x48/apps/${APP_ID}.png ${hicolor}/128x128/apps/${APP_ID}.png
             ${hicolor}/256x256/apps/${APP_ID}.png lib/systemd/user/cellwise.service)
  if(NOT EXISTS ${prefix}/${file})
    message(FATAL_ERROR "not installed: ${file}")
  endif()
endforeach()
file(READ ${prefix}/lib/systemd/user/cellwise.service unit)
if(NOT unit MATCHES "ExecStart=${prefix}/bin/cellwise --headless\n")
  message(FATAL_ERROR "the unit does not start the installed cellwise --headless:\n${unit}")
endif()

foreach(check "${DESKTOP_FILE_VALIDATE};${prefix}/share/applications/${APP_ID}.desktop"
              "${APPSTREAMCLI};validate;--no-net;${prefix}/share/metainfo/${APP_ID}.metainfo.xml")
  execute_process(COMMAND ${check} RESULT_VARIABLE failed OUTPUT_VARIABLE said ERROR_VARIABLE said)
  if(failed OR said MATCHES "error:")
    message(FATAL_ERROR "${check}:\n${said}")
  endif()
endforeach()
file(REMOVE_RECURSE ${prefix})
