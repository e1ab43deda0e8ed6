# What `cmake --install` puts in the prefix: the tool, the window (when built), the core
# libraries, their public headers under include/dmcodec, the CMake package DmCodec and the
# pkg-config file dmcodec.pc; the Python module (when built) in python/CMakeLists.txt.
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

# The headers a program includes, and those they include in turn. A program writes
# <dmcodec/decoder/decode_image.h>; the headers' own "decoder/..." includes find their
# neighbours through include/dmcodec, which the targets and dmcodec.pc put on the include path.
set(DM_PUBLIC_HEADERS
    decoder/decode_image.h decoder/structured_append.h
    encoder/symbol_encoder.h encoder/encodation.h encoder/message_encoder.h
    encoder/symbol_renderer.h
    grading/print_quality.h grading/reflectance_image.h
    detection/shared/geometry.h
    symbology/api.h symbology/codeword_correction.h symbology/decode_status.h symbology/message_format.h
    symbology/reed_solomon.h)
foreach(header IN LISTS DM_PUBLIC_HEADERS)
    cmake_path(GET header PARENT_PATH folder)
    install(FILES ${header} DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/dmcodec/${folder}
        COMPONENT development)
endforeach()

# The core libraries, as DmCodec::<layer>, and DmCodec::codec for all of them. Static: each
# layer's library (the static libraries keep their private links, so every layer goes into the
# package). Shared (DM_SHARED_LIBS): the one library, DmCodec::codec, which each layer's name
# stands for, so that a program links the same names either way.
set(DM_LAYERS symbology records detection decoder grading encoder)
if(DM_SHARED_LIBS)
    set_target_properties(dmcodec_shared PROPERTIES EXPORT_NAME codec)
    set(DM_INSTALLED_LIBRARIES dmcodec_shared)
    foreach(layer IN LISTS DM_LAYERS)
        add_library(dm_installed_${layer} INTERFACE)
        target_link_libraries(dm_installed_${layer} INTERFACE dmcodec_shared)
        set_target_properties(dm_installed_${layer} PROPERTIES EXPORT_NAME ${layer})
        list(APPEND DM_INSTALLED_LIBRARIES dm_installed_${layer})
    endforeach()
    set(DM_PKGCONFIG_LIBS "-ldmcodec")
else()
    set(DM_INSTALLED_LIBRARIES "")
    foreach(layer IN LISTS DM_LAYERS)
        set_target_properties(dm${layer} PROPERTIES EXPORT_NAME ${layer})
        list(APPEND DM_INSTALLED_LIBRARIES dm${layer})
    endforeach()
    add_library(dm_installed_codec INTERFACE)
    target_link_libraries(dm_installed_codec INTERFACE dmdecoder dmgrading dmencoder)
    set_target_properties(dm_installed_codec PROPERTIES EXPORT_NAME codec)
    list(APPEND DM_INSTALLED_LIBRARIES dm_installed_codec)
    set(DM_PKGCONFIG_LIBS
        "-ldmgrading -ldmdecoder -ldmdetection -ldmrecords -ldmencoder -ldmsymbology")
endif()
install(TARGETS ${DM_INSTALLED_LIBRARIES} EXPORT DmCodecTargets
    ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT development
    LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT runtime
        NAMELINK_COMPONENT development
    INCLUDES DESTINATION ${CMAKE_INSTALL_INCLUDEDIR} ${CMAKE_INSTALL_INCLUDEDIR}/dmcodec)

set(DM_PACKAGE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/DmCodec)
install(EXPORT DmCodecTargets NAMESPACE DmCodec:: DESTINATION ${DM_PACKAGE_DIR}
    COMPONENT development)
configure_package_config_file(${CMAKE_CURRENT_LIST_DIR}/DmCodecConfig.cmake.in
    ${CMAKE_BINARY_DIR}/DmCodecConfig.cmake INSTALL_DESTINATION ${DM_PACKAGE_DIR})
# Before 1.0 a minor version may change the interface.
write_basic_package_version_file(${CMAKE_BINARY_DIR}/DmCodecConfigVersion.cmake
    COMPATIBILITY SameMinorVersion)
install(FILES ${CMAKE_BINARY_DIR}/DmCodecConfig.cmake ${CMAKE_BINARY_DIR}/DmCodecConfigVersion.cmake
    DESTINATION ${DM_PACKAGE_DIR} COMPONENT development)

# dmcodec.pc finds its prefix from where it lies, so an installed tree can be moved.
set(DM_PKGCONFIG_DIR ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
file(RELATIVE_PATH DM_PKGCONFIG_TO_PREFIX /${DM_PKGCONFIG_DIR} /)
string(REGEX REPLACE "/$" "" DM_PKGCONFIG_TO_PREFIX "${DM_PKGCONFIG_TO_PREFIX}")
configure_file(${CMAKE_CURRENT_LIST_DIR}/dmcodec.pc.in ${CMAKE_BINARY_DIR}/dmcodec.pc @ONLY)
install(FILES ${CMAKE_BINARY_DIR}/dmcodec.pc DESTINATION ${DM_PKGCONFIG_DIR}
    COMPONENT development)

# `cpack -G DEB` in the build folder: one Debian package of everything above, installed under
# /usr, whose dependencies dpkg-shlibdeps reads off the programs (Debian's libjpeg-turbo,
# libpng, Qt ...).
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME dmcodec)
set(CPACK_PACKAGE_VENDOR "dmcodec")
set(CPACK_PACKAGE_CONTACT "dmcodec developers <dmcodec@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "Data Matrix (ECC 200) codec test bench: tool, window, libraries and headers")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_STRIP_FILES ON)
set(DM_DEB_DEPENDS "")
set(DM_DEB_RECOMMENDS "")
if(DM_BUILD_APP)
    # What the window loads at run time rather than links: Qt's platform plugins; the Chinese
    # font, Qt's own translations and the camera's GStreamer plugins help.
    list(APPEND DM_DEB_DEPENDS qt6-qpa-plugins)
    list(APPEND DM_DEB_RECOMMENDS fonts-wqy-microhei qt6-translations-l10n
        gstreamer1.0-plugins-base gstreamer1.0-plugins-good)
endif()
if(DM_PYTHON)
    # The Python module is built for one Python version and imports NumPy; PIL images are
    # taken when Pillow is there.
    math(EXPR DM_NEXT_PYTHON_MINOR "${Python_VERSION_MINOR} + 1")
    list(APPEND DM_DEB_DEPENDS "python3 (>= ${Python_VERSION_MAJOR}.${Python_VERSION_MINOR})"
        "python3 (<< ${Python_VERSION_MAJOR}.${DM_NEXT_PYTHON_MINOR})" python3-numpy)
    list(APPEND DM_DEB_RECOMMENDS python3-pil)
endif()
list(JOIN DM_DEB_DEPENDS ", " CPACK_DEBIAN_PACKAGE_DEPENDS)
list(JOIN DM_DEB_RECOMMENDS ", " CPACK_DEBIAN_PACKAGE_RECOMMENDS)
include(CPack)
