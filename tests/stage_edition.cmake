# Copies the files a build ships from FROM into TO, for tests that run that build's program.
foreach(name Pelmora.exe ZIVOvavoDozad.DLL dorove.dll)
  if(NOT EXISTS "${FROM}/${name}")
    message(FATAL_ERROR "${FROM}/${name} is missing: build the 32-bit program first "
                        "(cmake --preset mingw && cmake --build --preset mingw).")
  endif()
  file(COPY "${FROM}/${name}" DESTINATION "${TO}")
endforeach()
