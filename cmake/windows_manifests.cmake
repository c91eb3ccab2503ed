# cmake -DZIP=FILE -DURL=ADDRESS -DVERSION=V -DPUBLISHER=NAME -DLICENSE=TEXT [-DHOMEPAGE=ADDRESS]
#       -P windows_manifests.cmake: writes, in the current folder, the manifests a Windows packager
# submits for the release's .zip: winget's three files in winget/ and Scoop's varnelt.json, each
# with the version, the .zip's address (ADDRESS/its name) and its SHA-256. Run by the packages step
# where VARNELT_DOWNLOAD_URL is set.
get_filename_component(name ${ZIP} NAME)
string(REGEX REPLACE "/+$" "" URL "${URL}")
set(address "${URL}/${name}")
file(SHA256 ${ZIP} sum)
string(TOUPPER ${sum} SUM)
set(id Varnelt.Varnelt)
set(summary "Sets the size of a file")
# YAML and JSON strings in double quotes: a backslash and a double quote are escaped alike.
foreach(field PUBLISHER LICENSE HOMEPAGE address)
    string(REPLACE "\\" "\\\\" ${field} "${${field}}")
    string(REPLACE "\"" "\\\"" ${field} "${${field}}")
endforeach()

set(head "# Made by the packages step of Varnelt ${VERSION} from ${name}.\nPackageIdentifier: ${id}\nPackageVersion: ${VERSION}\n")
set(tail "ManifestVersion: 1.6.0\n")
file(WRITE winget/${id}.yaml "${head}DefaultLocale: en-US\nManifestType: version\n${tail}")
set(locale "${head}PackageLocale: en-US\nPublisher: \"${PUBLISHER}\"\nPackageName: Varnelt\n")
if(HOMEPAGE)
    string(APPEND locale "PackageUrl: \"${HOMEPAGE}\"\n")
endif()
string(APPEND locale "License: \"${LICENSE}\"\nShortDescription: ${summary}\nManifestType: defaultLocale\n${tail}")
file(WRITE winget/${id}.locale.en-US.yaml "${locale}")
file(WRITE winget/${id}.installer.yaml "${head}InstallerType: zip\nNestedInstallerType: portable\n"
    "NestedInstallerFiles:\n  - RelativeFilePath: Varnelt.exe\n    PortableCommandAlias: varnelt\n"
    "Installers:\n  - Architecture: x64\n    InstallerUrl: \"${address}\"\n    InstallerSha256: ${SUM}\n"
    "ManifestType: installer\n${tail}")

set(json "{\n    \"version\": \"${VERSION}\",\n    \"description\": \"${summary}\",\n")
if(HOMEPAGE)
    string(APPEND json "    \"homepage\": \"${HOMEPAGE}\",\n")
endif()
string(APPEND json "    \"license\": \"${LICENSE}\",\n"
    "    \"architecture\": {\n        \"64bit\": {\n            \"url\": \"${address}\",\n"
    "            \"hash\": \"${sum}\"\n        }\n    },\n    \"bin\": [[\"Varnelt.exe\", \"varnelt\"]]\n}\n")
file(WRITE scoop/varnelt.json "${json}")
