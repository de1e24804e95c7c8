# Installs the build tree into PREFIX and checks what a user would get.
#   cmake -DBUILD_DIR=... -DPREFIX=... -DVERSION=... [-DWITH_SERVER=1] -P InstallTest.cmake
cmake_minimum_required(VERSION 3.25)

set(failures "")
macro(fail message)
  string(APPEND failures "  ${message}\n")
endmacro()

file(REMOVE_RECURSE ${PREFIX})
execute_process(COMMAND ${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${PREFIX}
                RESULT_VARIABLE rc OUTPUT_QUIET ERROR_VARIABLE err)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "cmake --install failed (${rc}):\n${err}")
endif()

# GNUInstallDirs' relative defaults: bin, share, etc; the unit beside them
# under any prefix but /usr.
set(app org.velmar.Velmar)
set(programs velmar velmarctl velmar-framesim)
if(WITH_SERVER)
  list(APPEND programs velmar-server)
endif()
list(TRANSFORM programs PREPEND bin/ OUTPUT_VARIABLE binaries)
foreach(path
    ${binaries}
    share/applications/${app}.desktop
    share/icons/hicolor/scalable/apps/${app}.svg
    share/metainfo/${app}.metainfo.xml
    share/man/man1/velmar.1 share/man/man1/velmarctl.1 share/man/man1/velmar-framesim.1
    share/man/man1/velmar-server.1
    share/bash-completion/completions/velmarctl
    lib/systemd/system/velmar-server.service etc/velmar/server.conf)
  if(NOT EXISTS ${PREFIX}/${path})
    fail("${path} not installed")
  endif()
endforeach()

# Every program names itself and the project's one version.
foreach(program ${programs})
  if(EXISTS ${PREFIX}/bin/${program})
    execute_process(COMMAND ${PREFIX}/bin/${program} --version RESULT_VARIABLE rc
                    OUTPUT_VARIABLE out ERROR_VARIABLE err OUTPUT_STRIP_TRAILING_WHITESPACE)
    if(NOT rc EQUAL 0 OR NOT out STREQUAL "${program} ${VERSION}")
      fail("${program} --version gave '${out}' (exit ${rc}), expected '${program} ${VERSION}'")
    endif()
  endif()
endforeach()

# The desktop entry starts the installed program with the installed icon, in
# the menu's audio and network sections.
set(desktop ${PREFIX}/share/applications/${app}.desktop)
if(EXISTS ${desktop})
  file(STRINGS ${desktop} lines)
  foreach(wanted "[Desktop Entry]" "Type=Application" "Exec=velmar" "Icon=${app}"
                 "Categories=AudioVideo;Audio;Network;")
    if(NOT wanted IN_LIST lines)
      fail("desktop entry lacks '${wanted}'")
    endif()
  endforeach()
endif()

# The metainfo and the manual pages carry the version, not a placeholder.
foreach(path share/metainfo/${app}.metainfo.xml share/man/man1/velmar.1
             share/man/man1/velmarctl.1 share/man/man1/velmar-framesim.1
             share/man/man1/velmar-server.1)
  if(EXISTS ${PREFIX}/${path})
    file(READ ${PREFIX}/${path} text)
    string(FIND "${text}" "@" at)
    string(FIND "${text}" "${VERSION}" ver)
    if(NOT at EQUAL -1 OR ver EQUAL -1)
      fail("${path} does not carry version ${VERSION}")
    endif()
  endif()
endforeach()

find_program(APPSTREAMCLI appstreamcli)
if(APPSTREAMCLI AND EXISTS ${PREFIX}/share/metainfo/${app}.metainfo.xml)
  execute_process(COMMAND ${APPSTREAMCLI} validate --no-net
                          ${PREFIX}/share/metainfo/${app}.metainfo.xml
                  RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT rc EQUAL 0)
    fail("appstreamcli validate: ${out}${err}")
  endif()
endif()

# groff warns about roff mistakes (unknown macros, bad escapes) on stderr.
find_program(GROFF groff)
if(GROFF)
  foreach(page velmar velmarctl velmar-framesim velmar-server)
    set(path ${PREFIX}/share/man/man1/${page}.1)
    if(EXISTS ${path})
      execute_process(COMMAND ${GROFF} -man -Tutf8 -ww -z ${path} RESULT_VARIABLE rc
                      ERROR_VARIABLE err)
      if(NOT rc EQUAL 0 OR NOT err STREQUAL "")
        fail("${page}(1): ${err}")
      endif()
    endif()
  endforeach()
endif()

# The unit starts the installed program with the installed configuration,
# and the configuration sets nothing: every key is a comment at its default.
set(unit ${PREFIX}/lib/systemd/system/velmar-server.service)
if(EXISTS ${unit})
  file(STRINGS ${unit} lines)
  set(wanted "ExecStart=${PREFIX}/bin/velmar-server --config ${PREFIX}/etc/velmar/server.conf")
  if(NOT wanted IN_LIST lines)
    fail("the unit lacks '${wanted}'")
  endif()
  find_program(SYSTEMD_ANALYZE systemd-analyze)
  if(SYSTEMD_ANALYZE AND EXISTS ${PREFIX}/bin/velmar-server)
    execute_process(COMMAND ${SYSTEMD_ANALYZE} verify --man=no ${unit} RESULT_VARIABLE rc
                    OUTPUT_VARIABLE out ERROR_VARIABLE err)
    if(NOT rc EQUAL 0)
      fail("systemd-analyze verify: ${out}${err}")
    endif()
  endif()
endif()
set(conf ${PREFIX}/etc/velmar/server.conf)
if(EXISTS ${conf})
  file(STRINGS ${conf} lines)
  set(keys "")
  foreach(line IN LISTS lines)
    if(line MATCHES "^[ \t]*[^# \t]")
      fail("server.conf sets '${line}'; every key should be a comment")
    elseif(line MATCHES "^# ([a-z-]+) = ")
      list(APPEND keys ${CMAKE_MATCH_1})
    endif()
  endforeach()
  foreach(key listen frame token-file tls-certificate tls-key state-directory change-timeout)
    if(NOT key IN_LIST keys)
      fail("server.conf does not show the key ${key}")
    endif()
  endforeach()
endif()

if(NOT failures STREQUAL "")
  message(FATAL_ERROR "the installed tree is not right:\n${failures}")
endif()
