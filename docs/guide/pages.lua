-- Turns the guide's Markdown pages into HTML pages that link to each other:
-- a link to "page.md" becomes a link to "page.html", and a page's title is
-- its first heading.

function Link(link)
  if not link.target:match("^%a[%w+.-]*:") then
    link.target = link.target:gsub("%.md$", ".html"):gsub("%.md#", ".html#")
  end
  return link
end

function Pandoc(doc)
  if doc.meta.pagetitle == nil then
    for _, block in ipairs(doc.blocks) do
      if block.t == "Header" and block.level == 1 then
        doc.meta.pagetitle = pandoc.utils.stringify(block.content)
        break
      end
    end
  end
  return doc
end
