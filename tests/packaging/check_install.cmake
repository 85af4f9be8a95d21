# Installs the build into a fresh prefix and checks what a desktop and a Debian package need:
# both programs, the codec library in the programs' own folder, the desktop entry, the icons
# at their sizes, the metadata, manual pages and documents. Then the installed programs run
# from there (no LD_LIBRARY_PATH) and answer --version and --help without a window system.
file(REMOVE_RECURSE "${PREFIX}")
execute_process(COMMAND "${CMAKE_COMMAND}" --install "${BUILD_DIR}" --prefix "${PREFIX}"
                RESULT_VARIABLE result OUTPUT_QUIET)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "cmake --install failed: ${result}")
endif()
set(id example.tulbrin.glimmervellium)
foreach(file bin/glimmervellium bin/glimmervellium-create ${LIBDIR}/glimmervellium/libpicodec.so.1
             share/applications/${id}.desktop share/metainfo/${id}.metainfo.xml
             share/mime/packages/${id}.xml
             share/icons/hicolor/scalable/apps/glimmervellium.svg
             share/man/man1/glimmervellium.1.gz share/man/man1/glimmervellium-create.1.gz
             share/doc/glimmervellium/copyright share/doc/glimmervellium/changelog.gz)
  if(NOT EXISTS "${PREFIX}/${file}")
    message(FATAL_ERROR "not installed: ${file}")
  endif()
endforeach()

# A PNG's width and height are the two big-endian numbers after its signature and IHDR tag.
foreach(size 16 32 48 64 128 256)
  file(READ "${PREFIX}/share/icons/hicolor/${size}x${size}/apps/glimmervellium.png" ihdr
       OFFSET 16 LIMIT 8 HEX)
  string(SUBSTRING "${ihdr}" 0 8 width)
  string(SUBSTRING "${ihdr}" 8 8 height)
  math(EXPR width "0x${width}")
  math(EXPR height "0x${height}")
  if(NOT width EQUAL size OR NOT height EQUAL size)
    message(FATAL_ERROR "the ${size}x${size} icon is ${width}x${height}")
  endif()
endforeach()

file(STRINGS "${PREFIX}/share/applications/${id}.desktop" entry)
foreach(line "[Desktop Entry]" "Type=Application" "Name=Glimmervellium 1.0"
             "Exec=glimmervellium %f" "MimeType=application/x-glimmervellium-album;"
             "Icon=glimmervellium")
  list(FIND entry "${line}" at)
  if(at EQUAL -1)
    message(FATAL_ERROR "desktop entry lacks: ${line}")
  endif()
endforeach()
file(READ "${PREFIX}/share/metainfo/${id}.metainfo.xml" metainfo)
foreach(fragment "<id>${id}</id>" "<launchable type=\"desktop-id\">${id}.desktop</launchable>"
             "<release version=\"${VERSION}\"")
  string(FIND "${metainfo}" "${fragment}" at)
  if(at EQUAL -1)
    message(FATAL_ERROR "metainfo lacks: ${fragment}")
  endif()
endforeach()

# run(<status> <stdout variable> <stderr variable> program arguments...): no display and no
# library path, so only the RUNPATH finds the codec library and only a text can be printed.
function(run status_var out_var err_var)
  execute_process(COMMAND "${CMAKE_COMMAND}" -E env --unset=DISPLAY --unset=WAYLAND_DISPLAY
                          --unset=QT_QPA_PLATFORM --unset=LD_LIBRARY_PATH ${ARGN}
                  RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE err TIMEOUT 60)
  set(${status_var} "${status}" PARENT_SCOPE)
  set(${out_var} "${out}" PARENT_SCOPE)
  set(${err_var} "${err}" PARENT_SCOPE)
endfunction()
function(expect what actual wanted)
  if(NOT "${actual}" STREQUAL "${wanted}")
    message(FATAL_ERROR "${what}: \"${actual}\", not \"${wanted}\"")
  endif()
endfunction()

foreach(program glimmervellium glimmervellium-create)
  run(status out err "${PREFIX}/bin/${program}" --version)
  expect("${program} --version" "${status}|${out}" "0|${program} ${VERSION}\n")
endforeach()
run(status out err "${PREFIX}/bin/glimmervellium" --help)
if(NOT status EQUAL 0 OR NOT out MATCHES "Usage: .*glimmervellium" OR NOT out MATCHES "--version"
   OR NOT out MATCHES "glimmervellium-create")
  message(FATAL_ERROR "glimmervellium --help: ${status}\n${out}${err}")
endif()
# Without any display the window program says so instead of aborting.
run(status out err "${PREFIX}/bin/glimmervellium")
if(NOT status EQUAL 1 OR NOT err MATCHES "no display")
  message(FATAL_ERROR "glimmervellium without a display: ${status}\n${out}${err}")
endif()
# Anything else needs the window system's connection first: the offscreen one here.
# One album at most.
foreach(wrong "--no-such-option" "album.lmf|second.lmf")
  string(REPLACE "|" ";" arguments "${wrong}")
  run(status out err "${CMAKE_COMMAND}" -E env QT_QPA_PLATFORM=offscreen
      "${PREFIX}/bin/glimmervellium" ${arguments})
  if(NOT status EQUAL 1 OR NOT err MATCHES "no-such-option|second.lmf")
    message(FATAL_ERROR "glimmervellium ${wrong}: ${status}\n${out}${err}")
  endif()
endforeach()
