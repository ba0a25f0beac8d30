# A stand-in page for the browser host's tests, used until the page itself is a resource.
list(APPEND CORVANE_RESOURCES
  "23|104|standin_page.htm"
  "IMAGES|STANDIN.GIF|standin.gif"
)
