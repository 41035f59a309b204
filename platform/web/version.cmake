# SPDX-License-Identifier: MIT
# Writes the service worker of the site in SITE from TEMPLATE: the files it keeps at once
# (FILES, relative to SITE), those it keeps as the page fetches them (LATER), and a version
# that is a hash of all of them.
set(hashes "")
function(quote_list out)
  set(quoted "")
  foreach(f ${ARGN})
    file(SHA256 ${SITE}/${f} h)
    string(APPEND hashes "${f} ${h}\n")
    list(APPEND quoted "'${f}'")
  endforeach()
  string(REPLACE ";" ", " quoted "${quoted}")
  set(${out} "${quoted}" PARENT_SCOPE)
  set(hashes "${hashes}" PARENT_SCOPE)
endfunction()
quote_list(files ${FILES})
set(files "'./', ${files}")
quote_list(later ${LATER})
string(SHA256 all "${hashes}")
string(SUBSTRING ${all} 0 16 version)
configure_file(${TEMPLATE} ${SITE}/sw.js @ONLY)
