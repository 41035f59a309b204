# SPDX-License-Identifier: MIT
# Writes the service worker of the site in SITE from TEMPLATE: the files it keeps (FILES,
# relative to SITE) and a version that is a hash of all of them.
set(hashes "")
set(quoted "'./'")
foreach(f ${FILES})
  file(SHA256 ${SITE}/${f} h)
  string(APPEND hashes "${f} ${h}\n")
  string(APPEND quoted ", '${f}'")
endforeach()
string(SHA256 all "${hashes}")
string(SUBSTRING ${all} 0 16 version)
set(files ${quoted})
configure_file(${TEMPLATE} ${SITE}/sw.js @ONLY)
