# SPDX-License-Identifier: GPL-3.0-or-later
# The AppStream metadata from its template, with the home page and the screenshots only when
# the build is given them. Included by packaging/, and run on its own by the test that
# validates it both ways:
#   cmake -DIN=TEMPLATE -DOUT=FILE -DPROJECT_VERSION=V [-DVELLUMDEX_HOMEPAGE=URL]
#         [-DVELLUMDEX_SCREENSHOTS_URL=URL] -P Metainfo.cmake
function(vellumdex_metainfo in out)
    set(VELLUMDEX_METAINFO_URL "")
    if(VELLUMDEX_HOMEPAGE)
        set(VELLUMDEX_METAINFO_URL "<url type=\"homepage\">${VELLUMDEX_HOMEPAGE}</url>")
    endif()
    set(VELLUMDEX_METAINFO_SCREENSHOTS "")
    if(VELLUMDEX_SCREENSHOTS_URL)
        string(REGEX REPLACE "/+$" "" shots "${VELLUMDEX_SCREENSHOTS_URL}")
        string(CONCAT VELLUMDEX_METAINFO_SCREENSHOTS
            "<screenshots>\n"
            "    <screenshot type=\"default\">\n"
            "      <caption>The main window</caption>\n"
            "      <caption xml:lang=\"ja\">メイン画面</caption>\n"
            "      <image>${shots}/main.png</image>\n"
            "    </screenshot>\n"
            "    <screenshot>\n"
            "      <caption>The processing window after a run</caption>\n"
            "      <caption xml:lang=\"ja\">変換後の処理画面</caption>\n"
            "      <image>${shots}/processing.png</image>\n"
            "    </screenshot>\n"
            "  </screenshots>")
    endif()
    configure_file(${in} ${out} @ONLY)
endfunction()

if(CMAKE_SCRIPT_MODE_FILE)
    vellumdex_metainfo(${IN} ${OUT})
endif()
