# quellkamp_version_resource(TARGET DESCRIPTION): gives a Windows program its
# version resource, compiled by windres.
function(quellkamp_version_resource target description)
    set(QK_RESOURCE_NAME ${target})
    set(QK_RESOURCE_FILE ${target}.exe)
    set(QK_RESOURCE_DESCRIPTION ${description})
    set(out ${CMAKE_CURRENT_BINARY_DIR}/${target}_version.rc)
    configure_file(${PROJECT_SOURCE_DIR}/app/win32/version.rc.in ${out} @ONLY)
    target_sources(${target} PRIVATE ${out})
endfunction()
