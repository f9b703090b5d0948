package acc;

import acc.lib.Texts;
import java.io.IOException;
import javax.servlet.annotation.WebServlet;
import javax.servlet.http.*;

/** Two servlets, found by their annotations, that use the application's own jar. */
@WebServlet("/hello")
public class Hello extends HttpServlet {
    @Override
    protected void doGet(HttpServletRequest q, HttpServletResponse a) throws IOException {
        a.getWriter().println(Texts.greet(q.getParameter("name")));
    }

    /** Answers 202, so that a status other than 200 is compared too. */
    @WebServlet("/accepted")
    public static class Accepted extends Hello {
        @Override
        protected void doGet(HttpServletRequest q, HttpServletResponse a) throws IOException {
            a.setStatus(HttpServletResponse.SC_ACCEPTED);
            super.doGet(q, a);
        }
    }
}
