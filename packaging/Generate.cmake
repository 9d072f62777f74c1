# Writes the files made from the program itself: the bash and zsh completion of lumenor-cli and its
# manual page (the commands section comes from the command table), and both manual pages and the changelog compressed. Run by the build after lumenor-cli.
# -DCLI=path/to/lumenor-cli -DSOURCE=packaging folder -DOUT=output folder
set(ENV{QT_QPA_PLATFORM} offscreen)
file(MAKE_DIRECTORY "${OUT}")
foreach(kind bash zsh man)
  execute_process(COMMAND "${CLI}" --generate ${kind} OUTPUT_VARIABLE text RESULT_VARIABLE rc)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "lumenor-cli --generate ${kind} failed (${rc})")
  endif()
  set(generated_${kind} "${text}")
endforeach()
file(WRITE "${OUT}/lumenor-cli.bash" "${generated_bash}")
file(WRITE "${OUT}/_lumenor-cli" "${generated_zsh}")
set(COMMANDS "${generated_man}")
configure_file("${SOURCE}/lumenor-cli.1.in" "${OUT}/lumenor-cli.1" @ONLY)
# Manual pages are installed compressed, as Debian's are.
foreach(page "${OUT}/lumenor-cli.1" "${SOURCE}/lumenor.1" "${SOURCE}/changelog")
  get_filename_component(name "${page}" NAME)
  execute_process(COMMAND gzip -9nc "${page}" OUTPUT_FILE "${OUT}/${name}.gz" RESULT_VARIABLE rc)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "gzip ${page} failed")
  endif()
endforeach()
